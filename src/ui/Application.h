#pragma once

namespace fas::ui {

// The process entry of automation-server-window: the command line as automation-server has it,
// with the window for the case without options. Returns the process exit status.
int RunApplication(int argc, char** argv);

}  // namespace fas::ui
