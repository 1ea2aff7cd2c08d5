#pragma once

#include <filesystem>

#include "state/ServerState.h"
#include "tasks/RunTasks.h"

namespace fas::ui {

// Start-up without a window, then either one task run (`once`) or the poll schedule for ever.
// Results lines go to standard output; refusals and errors to standard error. Returns the exit
// status: 0 the run completed without error, 1 it reported an error, 2 start-up failed, 3
// another copy runs on the same database.
int RunHeadless(ServerState& state, const std::filesystem::path& configFile, bool once,
                const tasks::TaskList& catalog);

}  // namespace fas::ui
