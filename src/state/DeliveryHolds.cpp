#include "state/DeliveryHolds.h"

#include <algorithm>

namespace fas {

bool DeliveryHolds::held(const std::string& recipientText) const {
    const auto hold = holds_.find(recipientText);
    return hold != holds_.end() && now() < hold->second.until;
}

DeliveryHolds::Clock::duration DeliveryHolds::refused(const std::string& recipientText) {
    const auto [hold, first] = holds_.try_emplace(recipientText, Hold{firstWait, {}});
    if (!first) {
        hold->second.wait *= 2;
    }
    hold->second.wait = std::min(hold->second.wait, longestWait);
    hold->second.until = now() + hold->second.wait;
    return hold->second.wait;
}

}  // namespace fas
