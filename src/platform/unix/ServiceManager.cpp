#include "platform/ServiceManager.h"

#include <systemd/sd-daemon.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace fas::platform {

ServiceManager::ServiceManager() {
    std::uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
        // A quarter of WatchdogSec=: with one row or message in progress between two
        // checkpoints, no gap between heartbeats comes near the half that systemd's own advice
        // leaves as margin.
        heartbeat_ = std::chrono::milliseconds(std::max<std::uint64_t>(usec / 4000, 1));
    }
}

void ServiceManager::ready() const {
    sd_notify(0, "READY=1");
}

void ServiceManager::status(std::string_view line) const {
    // One line: systemctl status shows the text as it is.
    std::string message = "STATUS=";
    for (const char c : line) {
        message.push_back(c == '\n' || c == '\r' ? ' ' : c);
    }
    sd_notify(0, message.c_str());
}

void ServiceManager::stopping() const {
    sd_notify(0, "STOPPING=1");
}

void ServiceManager::watchdog() const {
    if (heartbeat_) {
        sd_notify(0, "WATCHDOG=1");
    }
}

}  // namespace fas::platform
