#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "startup/Startup.h"
#include "state/ServerState.h"
#include "tasks/RunTasks.h"
#include "ui/PollSchedule.h"

namespace fas::ui {

inline constexpr const char* kDesignCaption = "Ferrow Automation Server 7.16";
// The results box keeps the newest lines only, so that a server left running for years does not
// grow without bound.
inline constexpr int kMaxResultsLines = 10000;

// What either window (Qt on Linux, Win32 on Windows) does between its toolkit's events: the task
// runs, their results lines and the poll schedule. The windows only show what this returns and
// start their timer for the delay it gives.
class WindowSession {
  public:
    // A run's line, when the event performed a run, and the wait before the next tick.
    struct Step {
        std::optional<std::string> line;
        std::chrono::milliseconds nextTick;
    };

    WindowSession(ServerState& state, const tasks::TaskList& catalog);

    Step load();     // the first run, before the window is shown
    Step tick();     // the poll timer: a run on the ticks the schedule says
    Step doTasks();  // Do Tasks: a run now; the timed runs keep their ticks

    // The caption once shown: the design caption, " - " and the suffix from config.txt.
    std::string caption() const;

    // Exit: the shared connection closed; the window then ends the process at once.
    void exitProgram();

    const PollSchedule& schedule() const { return schedule_; }

  private:
    std::string runTasks();

    ServerState& state_;
    const tasks::TaskList catalog_;  // a copy: the window never depends on the caller keeping it
    PollSchedule schedule_;
};

// Puts a results line in front of the box's text, CR LF after it, and drops the oldest lines
// beyond `maxLines`. For a box that holds its text as one string.
std::string PrependResultsLine(std::string_view text, std::string_view line,
                               int maxLines = kMaxResultsLines);

// The box a window shows when start-up did not end Ready.
struct StartupBox {
    std::string title;
    std::string text;
};

// Start-up for a window, then `window` (which creates, loads and shows it and runs its event loop
// to the end) with the single-copy lock held, then the connection closed. A failed start-up says
// why on standard error and, but for the database's own failures (started unattended at logon,
// nobody would dismiss a box), in `showBox`'s box; its exit status is returned.
int RunWindowServer(ServerState& state, const std::filesystem::path& configFile,
                    const std::function<void(const StartupBox&)>& showBox,
                    const std::function<int()>& window);

}  // namespace fas::ui
