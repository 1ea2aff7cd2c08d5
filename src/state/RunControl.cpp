#include "state/RunControl.h"

#include <algorithm>
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
    pulse();
    // A part every quarter second at most: what one commit writes then takes a fraction of a
    // heartbeat interval, whatever the interval.
    constexpr auto kPartEvery = std::chrono::milliseconds(250);
    if (rowBoundaryWork_ && heartbeat_ &&
        Clock::now() - lastPart_ >= std::min<Clock::duration>(every_, kPartEvery)) {
        lastPart_ = Clock::now();
        rowBoundaryWork_();
    }
    if (stopRequested) {
        throw RunStopped();
    }
}

}  // namespace fas
