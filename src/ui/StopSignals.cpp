#include "ui/StopSignals.h"

#include <pthread.h>

#include <utility>

namespace fas::ui {

StopSignals::StopSignals(std::function<void()> onStop) {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGTERM);
    sigaddset(&signals_, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
    watcher_ = std::thread([this, onStop = std::move(onStop)] {
        for (;;) {
            int received = 0;
            if (sigwait(&signals_, &received) != 0) {
                continue;
            }
            if (closing_) {
                return;
            }
            onStop();
        }
    });
}

StopSignals::~StopSignals() {
    closing_ = true;
    pthread_kill(watcher_.native_handle(), SIGTERM);
    watcher_.join();
    // The signals stay blocked: the process is ending, and a second SIGTERM sent meanwhile must
    // not turn a clean stop into an end by signal.
}

}  // namespace fas::ui
