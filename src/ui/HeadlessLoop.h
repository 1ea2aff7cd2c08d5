#pragma once

#include <chrono>
#include <functional>

#include "ui/PollSchedule.h"

namespace fas::ui {

// The waiting between ticks, so that tests can drive the loop through simulated time.
class LoopClock {
  public:
    virtual ~LoopClock() = default;
    virtual void sleepFor(std::chrono::milliseconds delay) = 0;
};

// Real time.
class SystemLoopClock : public LoopClock {
  public:
    void sleepFor(std::chrono::milliseconds delay) override;
};

// The poll schedule without a window: `runOnce` performs the load-step run at once, then each
// tick the schedule says runs. `keepGoing` is asked before every wait; the service loop never
// stops by itself (the process ends when it is stopped, as the window's Exit ends it).
void RunHeadlessLoop(PollSchedule& schedule, LoopClock& clock, const std::function<void()>& runOnce,
                     const std::function<bool()>& keepGoing);

}  // namespace fas::ui
