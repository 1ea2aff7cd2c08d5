#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace fas::monitoring {

// A heartbeat address that cannot be used (not http or https, no host).
class HeartbeatUrlError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// "scheme://host[:port]" of an address: what a log may show of it. The path and the query hold the
// monitor's secret (Healthchecks.io's check UUID, Uptime Kuma's push token) and the user part a
// password, so they never leave this function. Throws HeartbeatUrlError for anything but an http
// or https address with a host.
std::string UrlOrigin(const std::string& url);

// The address with "/fail" appended to its path (query kept): Healthchecks.io's failure signal.
std::string FailUrlOf(const std::string& url);

// Tells an outside monitor (a dead-man's switch) how each run went: a POST of the results line to
// the success address after a run without error, to the failure address after one with errors.
// Either address may be absent; nothing is sent for it then.
class HeartbeatSender {
  public:
    static constexpr std::chrono::milliseconds kTimeLimit{10000};

    // Throws HeartbeatUrlError when an address given is unusable.
    HeartbeatSender(std::optional<std::string> successUrl, std::optional<std::string> failUrl,
                    std::chrono::milliseconds timeLimit = kTimeLimit);

    // Sends one heartbeat: a POST of `body`, and a GET of the same address when the POST is
    // answered 404 or 405 (a push address that takes GET only); both within the time limit.
    // `cancelled` is asked now and then and ends the request when it says so (a stop request).
    // Returns what went wrong, for a person and without the address's path or query, or
    // std::nullopt when the monitor answered 2xx or there is no address to send to.
    std::optional<std::string> send(bool runFailed, const std::string& body,
                                    const std::function<bool()>& cancelled = {}) const;

  private:
    std::optional<std::string> successUrl_;
    std::optional<std::string> failUrl_;
    std::chrono::milliseconds timeLimit_;
};

}  // namespace fas::monitoring
