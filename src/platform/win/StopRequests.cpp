#include "platform/StopRequests.h"

#include <windows.h>

#include <mutex>
#include <utility>

#include "platform/win/ServiceConnection.h"

namespace fas::platform {

// The console calls its control handler on a thread of its own: that thread is the watcher.
struct StopRequests::Watcher {
    std::function<void()> onStop;
};

namespace {

std::mutex gWatcherMutex;
StopRequests::Watcher* gWatcher = nullptr;  // the console's handler takes no context

void requestStop() {
    const std::lock_guard lock(gWatcherMutex);
    if (gWatcher != nullptr) {
        gWatcher->onStop();
    }
}

BOOL WINAPI onConsoleControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            if (service::Running()) {
                // A service's stop comes from the service control manager, also at shut-down;
                // a user logging off must not stop it.
                return TRUE;
            }
            requestStop();
            break;
        default:
            return FALSE;
    }
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Windows ends the process as soon as this returns: give the run the seconds it needs
        // (the system allows about five) to finish the row or message in progress.
        Sleep(4500);
    }
    return TRUE;
}

}  // namespace

void service::RequestStop() {
    requestStop();
}

StopRequests::StopRequests(std::function<void()> onStop)
    : watcher_(std::make_unique<Watcher>(Watcher{std::move(onStop)})) {
    {
        const std::lock_guard lock(gWatcherMutex);
        gWatcher = watcher_.get();
    }
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

StopRequests::~StopRequests() {
    // The handler stays installed: a second Ctrl+C while the process ends must not end it
    // half way.
    const std::lock_guard lock(gWatcherMutex);
    gWatcher = nullptr;
}

}  // namespace fas::platform
