#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace fas::platform {

// The service manager's protocol: start-up done, the last results line, the watchdog's heartbeat
// and the start of a stop. Not started by a service manager, every call does nothing.
class ServiceManager {
  public:
    ServiceManager();

    void ready() const;
    void status(std::string_view line) const;
    void stopping() const;
    // Only when the service manager asked for a watchdog.
    void watchdog() const;

    // How often the server reports in, or nothing when there is no watchdog.
    std::optional<std::chrono::milliseconds> heartbeatInterval() const { return heartbeat_; }

  private:
    std::optional<std::chrono::milliseconds> heartbeat_;
};

}  // namespace fas::platform
