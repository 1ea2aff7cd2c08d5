#include "state/RunControl.h"

#include <utility>

namespace fas {

void RunControl::setHeartbeat(std::function<void()> heartbeat, Clock::duration every) {
    heartbeat_ = std::move(heartbeat);
    every_ = every;
    last_ = {};
}

bool RunControl::pulse() {
    if (!heartbeat_) {
        return false;
    }
    const auto now = Clock::now();
    if (now - last_ < every_) {
        return false;
    }
    last_ = now;
    heartbeat_();
    return true;
}

void RunControl::checkpoint() {
    if (pulse() && rowBoundaryWork_) {
        rowBoundaryWork_();
    }
    if (stopRequested) {
        throw RunStopped();
    }
}

}  // namespace fas
