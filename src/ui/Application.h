#pragma once

namespace fas::ui {

// The process entry: parses the command line and runs the window, the headless loop or a single
// run. Returns the process exit status.
int RunApplication(int argc, char** argv);

}  // namespace fas::ui
