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
    // A part every half heartbeat interval: what one commit writes stays a fraction of the
    // interval, and under the packaged watchdog (minutes) a step still commits about once.
    if (rowBoundaryWork_ && heartbeat_ && Clock::now() - lastPart_ >= every_ / 2) {
        lastPart_ = Clock::now();
        rowBoundaryWork_();
    }
    if (stopRequested) {
        throw RunStopped();
    }
}

}  // namespace fas
