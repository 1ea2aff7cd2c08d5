#pragma once

#include <filesystem>

#include "state/ServerState.h"
#include "tasks/RunTasks.h"

namespace fas::ui {

// Start-up without a window, then either one task run (`once`) or the poll schedule until SIGTERM
// or SIGINT. Results lines go to standard output; refusals and errors to standard error (with
// their syslog priorities when these are the journal). Under systemd it tells the service
// manager when it is ready, each results line, that it is alive and that it stops. A stop
// finishes the catalog step in progress and skips the rest of the run. Returns the exit status:
// 0 the run completed without error or the loop was stopped, 1 the run reported an error, 2
// start-up failed, 3 another copy runs on the same database.
int RunHeadless(ServerState& state, const std::filesystem::path& configFile, bool once,
                const tasks::TaskList& catalog);

}  // namespace fas::ui
