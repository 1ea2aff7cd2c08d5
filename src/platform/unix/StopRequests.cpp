#include "platform/StopRequests.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>
#include <utility>

namespace fas::platform {

// SIGTERM and SIGINT are blocked in the calling thread and in every thread started after it; the
// watcher alone receives them.
struct StopRequests::Watcher {
    sigset_t signals{};
    std::atomic<bool> closing{false};
    std::thread thread;
};

StopRequests::StopRequests(std::function<void()> onStop) : watcher_(std::make_unique<Watcher>()) {
    Watcher& w = *watcher_;
    sigemptyset(&w.signals);
    sigaddset(&w.signals, SIGTERM);
    sigaddset(&w.signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &w.signals, nullptr);
    w.thread = std::thread([&w, onStop = std::move(onStop)] {
        for (;;) {
            int received = 0;
            if (sigwait(&w.signals, &received) != 0) {
                continue;
            }
            if (w.closing) {
                return;
            }
            onStop();
        }
    });
}

StopRequests::~StopRequests() {
    watcher_->closing = true;
    pthread_kill(watcher_->thread.native_handle(), SIGTERM);
    watcher_->thread.join();
    // The signals stay blocked: the process is ending, and a second SIGTERM sent meanwhile must
    // not turn a clean stop into an end by signal.
}

}  // namespace fas::platform
