#include "ui/Application.h"

#include <windows.h>

#include <exception>

#include "platform/win/WideText.h"
#include "startup/Startup.h"
#include "tasks/RuleCatalog.h"
#include "ui/CommandEntry.h"
#include "ui/WindowSession.h"
#include "ui/win32/MainWindow.h"

namespace fas::ui {

namespace {

// OK only, no icon: the only kind of box the server shows.
void showMessage(const std::string& title, const std::string& text) {
    MessageBoxW(nullptr, platform::Wide(text).c_str(), platform::Wide(title).c_str(),
                MB_OK | MB_SETFOREGROUND);
}

int runWindow(int, char**, ServerState& state, const std::filesystem::path& configFile) {
    // The layout is scaled for the monitor's DPI by the window itself, not stretched by Windows.
    SetProcessDPIAware();
    return RunWindowServer(
        state, configFile, [](const StartupBox& box) { showMessage(box.title, box.text); },
        [&] {
            try {
                win32::MainWindow window(state, tasks::RuleCatalog());
                window.load();
                window.showServer();
                return window.run();
            } catch (const std::exception& error) {
                // A GUI program has no console to print to.
                showMessage(kDesignCaption, error.what());
                return startup::kExitNeedsPerson;
            }
        });
}

}  // namespace

int RunApplication(int argc, char** argv) {
    return RunCommandLine(argc, argv, runWindow);
}

}  // namespace fas::ui
