#pragma once

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

namespace fas::ui {

// SIGTERM and SIGINT as a request to stop rather than an end on the spot: both are blocked in the
// calling thread and in every thread started after it (so build this before any other thread
// starts), and a watcher thread of its own receives them and calls `onStop`. Nothing is
// interrupted mid-statement; the server finishes what it is doing and leaves.
class StopSignals {
  public:
    explicit StopSignals(std::function<void()> onStop);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

  private:
    sigset_t signals_{};
    std::atomic<bool> closing_{false};
    std::thread watcher_;
};

}  // namespace fas::ui
