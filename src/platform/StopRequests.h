#pragma once

#include <functional>
#include <memory>

namespace fas::platform {

// A person's or the system's request to stop, as a call rather than an end on the spot: on Linux
// SIGTERM and SIGINT (build this before any other thread starts, so that every thread leaves them
// to its watcher), on Windows the console's Ctrl+C, Ctrl+Break and close events. `onStop` runs
// on a thread of its own; nothing is interrupted mid-statement.
class StopRequests {
  public:
    explicit StopRequests(std::function<void()> onStop);
    ~StopRequests();
    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;

    struct Watcher;

  private:
    std::unique_ptr<Watcher> watcher_;
};

}  // namespace fas::platform
