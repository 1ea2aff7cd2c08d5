#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>

namespace fas {

// The recipient texts whose messages the mail server refused for good. Their outbox rows stay
// pending, but each further attempt waits longer than the one before: the first wait after the
// first refusal, twice the last wait after each further one, never more than the longest wait.
// Without it an address that no longer exists would add the same error to every run. Only the
// process remembers the holds; a message the server accepts ends its recipient text's hold.
class DeliveryHolds {
  public:
    using Clock = std::chrono::steady_clock;

    // Whether messages to this recipient text wait now.
    bool held(const std::string& recipientText) const;
    // Records a refusal for good; returns how long the next attempt waits.
    Clock::duration refused(const std::string& recipientText);
    void delivered(const std::string& recipientText) { holds_.erase(recipientText); }

    // Not settings: tests shorten the waits and move the clock.
    Clock::duration firstWait = std::chrono::hours(1);
    Clock::duration longestWait = std::chrono::hours(24);
    std::function<Clock::time_point()> now = [] { return Clock::now(); };

  private:
    struct Hold {
        Clock::duration wait;
        Clock::time_point until;
    };
    std::map<std::string, Hold> holds_;
};

}  // namespace fas
