#include "platform/Clock.h"

namespace fas::platform {

LocalTime LocalTimeOf(std::time_t moment) {
    LocalTime local;
    localtime_s(&local.fields, &moment);
    // The local fields read as if they were UTC, less the moment: the offset, daylight saving
    // included.
    std::tm copy = local.fields;
    local.offsetSeconds = static_cast<long>(_mkgmtime(&copy) - moment);
    return local;
}

}  // namespace fas::platform
