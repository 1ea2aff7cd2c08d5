#include "platform/Clock.h"

namespace fas::platform {

LocalTime LocalTimeOf(std::time_t moment) {
    LocalTime local;
    localtime_r(&moment, &local.fields);
    local.offsetSeconds = local.fields.tm_gmtoff;
    return local;
}

}  // namespace fas::platform
