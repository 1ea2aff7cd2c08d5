#include "ui/HeadlessLoop.h"

#include <thread>

namespace fas::ui {

void SystemLoopClock::sleepFor(std::chrono::milliseconds delay) {
    std::this_thread::sleep_for(delay);
}

void RunHeadlessLoop(PollSchedule& schedule, LoopClock& clock, const std::function<void()>& runOnce,
                     const std::function<bool()>& keepGoing) {
    runOnce();
    auto wait = schedule.loaded();
    while (keepGoing()) {
        clock.sleepFor(wait);
        if (schedule.tick()) {
            runOnce();
        }
        wait = PollSchedule::kTickInterval;
    }
}

}  // namespace fas::ui
