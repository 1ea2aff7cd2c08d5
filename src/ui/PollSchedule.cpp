#include "ui/PollSchedule.h"

#include <limits>

namespace fas::ui {

std::chrono::milliseconds PollSchedule::loaded() {
    pollTickCount_ = 1;
    return kFirstTickDelay;
}

bool PollSchedule::tick() {
    const bool run = pollTickCount_ > pollMinutes_;
    if (run) {
        pollTickCount_ = 1;
    }
    // The count stops at the top of its 16-bit range instead of overflowing, so the comparison
    // stays meaningful; with a poll interval of 32767 no tick then runs, and the server stays up.
    if (pollTickCount_ < std::numeric_limits<std::int16_t>::max()) {
        ++pollTickCount_;
    }
    return run;
}

}  // namespace fas::ui
