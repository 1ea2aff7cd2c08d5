#pragma once

// Between the service host and the other Windows files: whether this process runs as a service,
// and what the service manager's protocol and a stop control become there.
namespace fas::platform::service {

bool Running();
// Start-up is done: RUNNING, stops accepted.
void ReportRunning();
// A stop was asked for: STOP_PENDING with a wait hint while the run finishes.
void ReportStopPending();

// Called by the service host when the service control manager asks the service to stop: the same
// request a console's Ctrl+C is (StopRequests).
void RequestStop();

}  // namespace fas::platform::service
