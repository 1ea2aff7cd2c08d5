#pragma once

#include <windows.h>

#include "state/ServerState.h"
#include "tasks/RunTasks.h"
#include "ui/WindowSession.h"

namespace fas::ui::win32 {

// Control identifiers, which the window's tests use to find the controls.
enum ControlId : int { kResultsId = 101, kExitId = 102, kClearId = 103, kDoTasksId = 104 };
inline constexpr const wchar_t* kWindowClass = L"Form1";

// Form1 with native controls: the results box and Exit, Clear and Do Tasks in their fixed places,
// scaled for the monitor's DPI, and the poll timer. Fixed size, no maximize button. Runs happen on
// this thread with the timer stopped, so they never overlap.
class MainWindow {
  public:
    MainWindow(ServerState& state, const tasks::TaskList& catalog);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // The load step, before the window is shown: the first run, its line, the timer started.
    void load();
    // Shows the window with the design caption extended by the caption suffix.
    void showServer();
    // The message loop until Exit or the title bar's close; returns the exit status.
    int run();

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void create();
    void present(const WindowSession::Step& step);

    WindowSession session_;
    HWND window_ = nullptr;
    HWND results_ = nullptr;
    HFONT font_ = nullptr;
    bool exited_ = false;
};

}  // namespace fas::ui::win32
