#pragma once

#include <ctime>

namespace fas::platform {

struct LocalTime {
    std::tm fields{};
    long offsetSeconds = 0;  // east of UTC, daylight saving included
};

// The machine's local time at `moment`, with its offset from UTC.
LocalTime LocalTimeOf(std::time_t moment);

}  // namespace fas::platform
