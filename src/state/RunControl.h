#pragma once

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>

namespace fas {

// Thrown at a checkpoint once a stop was requested. Not an error: the task run ends there, writes
// its log row and says it was stopped.
class RunStopped : public std::exception {
  public:
    const char* what() const noexcept override { return "stopped on request"; }
};

// How the service manager takes part in a run. Work that can last (the catalog steps, the rows of
// a walk, the messages of the dispatch) passes a checkpoint between two pieces: it feeds the
// watchdog when a heartbeat is due and, once `stopRequested` is set (by the signal watcher
// thread), throws RunStopped. So the row or message in progress is finished, never cut off.
class RunControl {
  public:
    using Clock = std::chrono::steady_clock;

    // The watchdog's heartbeat, sent at most every `every` from checkpoints and pulses.
    void setHeartbeat(std::function<void()> heartbeat, Clock::duration every);
    void clearHeartbeat() { setHeartbeat(nullptr, {}); }

    // Feeds the watchdog when due. One clock read otherwise: cheap enough for every row.
    void pulse();
    // pulse(), then RunStopped once a stop was requested. Under a watchdog it also calls, now and
    // then, the work set for the boundary between two rows (see setRowBoundaryWork).
    void checkpoint();

    // What to do between two rows now and then while a watchdog waits for heartbeats: the step's
    // unit commits what it has, so that no single commit keeps the server silent too long. Only
    // at checkpoints, never inside a statement. Empty: nothing.
    void setRowBoundaryWork(std::function<void()> work) { rowBoundaryWork_ = std::move(work); }

    std::atomic<bool> stopRequested{false};

  private:
    std::function<void()> heartbeat_;
    std::function<void()> rowBoundaryWork_;
    Clock::duration every_{};
    Clock::time_point last_{};
    Clock::time_point lastPart_{};
};

}  // namespace fas
