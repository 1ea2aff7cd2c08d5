#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace fas::ui {

// The service manager's notification protocol (sd_notify): start-up done, the last results line,
// the watchdog's heartbeat and the start of a stop. Without NOTIFY_SOCKET (not started by
// systemd) every call does nothing.
class ServiceNotifier {
  public:
    ServiceNotifier();

    void ready() const;
    void status(std::string_view line) const;
    void stopping() const;
    // Only when the unit asked for a watchdog (WatchdogSec=).
    void watchdog() const;

    // How often the server reports in: a quarter of the unit's WatchdogSec=, or nothing when
    // there is no watchdog.
    std::optional<std::chrono::milliseconds> heartbeatInterval() const { return heartbeat_; }

  private:
    std::optional<std::chrono::milliseconds> heartbeat_;
};

}  // namespace fas::ui
