#pragma once

#include <filesystem>
#include <functional>

#include "state/ServerState.h"

namespace fas::ui {

// Shows the window: given the process's arguments, the state the command line filled and the
// configuration file; returns the exit status.
using WindowRunner = std::function<int(int argc, char** argv, ServerState& state,
                                       const std::filesystem::path& configFile)>;

// The process entry without the window toolkit: parses the command line and performs --help,
// --version, --check, --test-mail, --dry-run, --once and --headless itself; without any of these it
// hands over to `runWindow`. Returns the exit status.
int RunCommandLine(int argc, char** argv, const WindowRunner& runWindow);

// The window for the program without one: hands over to the window program beside the
// executable, same arguments. When that is not installed, says so and returns 2.
int ExecWindowProgram(int argc, char** argv, ServerState& state,
                      const std::filesystem::path& configFile);

}  // namespace fas::ui
