#pragma once

#include <chrono>
#include <cstdint>

namespace fas::ui {

// When the poll timer ticks and which ticks perform a task run. No timer of its own: the window's
// timer and the headless loop both wait for the delays it returns, each after its work ended.
//
// The tick count is set to 1 after the load-step run and after each timed run, and raised by 1 on
// every tick; a tick runs the tasks when the count exceeds the poll interval (minutes, as stored
// in the Company row). With a poll interval of P >= 1 timed runs come on every P-th tick, the
// first on tick P + 1; with P <= 0 every tick runs. A manual run leaves the count alone.
class PollSchedule {
  public:
    static constexpr std::chrono::milliseconds kFirstTickDelay{1000};
    static constexpr std::chrono::milliseconds kTickInterval{60000};

    explicit PollSchedule(std::int16_t pollMinutes) : pollMinutes_(pollMinutes) {}

    // After the load step's run: the wait before the first tick.
    std::chrono::milliseconds loaded();

    // A tick: true when this tick performs a task run. The count is updated for the tick (as it
    // stands after the run); the next tick comes kTickInterval after this tick's work.
    bool tick();

    // After a manual run: the wait restarts, the count is unchanged.
    std::chrono::milliseconds manualRun() const { return kTickInterval; }

    std::int16_t pollTickCount() const { return pollTickCount_; }
    std::int16_t pollMinutes() const { return pollMinutes_; }

  private:
    std::int16_t pollMinutes_;
    std::int16_t pollTickCount_ = 0;
};

}  // namespace fas::ui
