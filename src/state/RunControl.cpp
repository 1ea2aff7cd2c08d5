#include "state/RunControl.h"

#include <utility>

namespace fas {

void RunControl::setHeartbeat(std::function<void()> heartbeat, Clock::duration every) {
    heartbeat_ = std::move(heartbeat);
    every_ = every;
    last_ = {};
}

void RunControl::pulse() {
    if (!heartbeat_) {
        return;
    }
    const auto now = Clock::now();
    if (now - last_ >= every_) {
        last_ = now;
        heartbeat_();
    }
}

void RunControl::checkpoint() {
    pulse();
    if (stopRequested) {
        throw RunStopped();
    }
}

}  // namespace fas
