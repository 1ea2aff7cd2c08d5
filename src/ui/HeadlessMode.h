#pragma once

#include <chrono>
#include <filesystem>
#include <optional>

#include "state/ServerState.h"
#include "tasks/RunTasks.h"

namespace fas::ui {

// Start-up without a window, then either one task run (`once`) or the poll schedule until SIGTERM
// or SIGINT. Results lines go to standard output; refusals and errors to standard error (with
// their syslog priorities when these are the journal). Under systemd it tells the service
// manager when it is ready, each results line, that it is alive (between steps, rows and messages
// and inside long statements) and that it stops. A stop finishes the row or message in progress,
// logs the run and skips the rest of it. Returns the exit status: 0 the run completed without
// error or the loop was stopped, 1 the run reported an error, otherwise that of the failed
// start-up (startup::ExitStatusOf).
// With `retryStartup`, a start-up that may pass by itself (status 75) is tried again after that
// long instead of ending the process: a Windows service has no unit to restart it.
int RunHeadless(ServerState& state, const std::filesystem::path& configFile, bool once,
                const tasks::TaskList& catalog,
                std::optional<std::chrono::milliseconds> retryStartup = std::nullopt);

// As systemd's RestartSec=30 for the units.
inline constexpr std::chrono::milliseconds kServiceStartupRetry{30000};

}  // namespace fas::ui
