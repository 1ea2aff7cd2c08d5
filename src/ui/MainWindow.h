#pragma once

#include <QTimer>
#include <QWidget>
#include <string>

#include "state/ServerState.h"
#include "tasks/RunTasks.h"
#include "ui/PollSchedule.h"

class QPlainTextEdit;
class QPushButton;

namespace fas::ui {

// The server's one window, Form1: the results list, Exit, Clear and Do Tasks, and the poll timer.
// Fixed size, no maximize button. Runs happen on this thread with the timer stopped, so they
// never overlap.
class MainWindow : public QWidget {
    Q_OBJECT

  public:
    static constexpr const char* kDesignCaption = "Ferrow Automation Server 7.16";
    // The results list keeps the newest lines only, so that a server left running for years
    // does not grow without bound.
    static constexpr int kMaxResultsLines = 10000;

    MainWindow(ServerState& state, const tasks::TaskList& catalog, QWidget* parent = nullptr);

    // The load step, before the window is shown: the first task run, its results line, and the
    // poll timer started for the first tick one second later.
    void load();

    // Shows the window and extends the design caption with " - " and the caption suffix of
    // config.txt (an empty suffix leaves the trailing " - ").
    void showServer(const std::string& captionSuffix);

    const PollSchedule& schedule() const { return schedule_; }
    const QTimer& pollTimer() const { return timer_; }

  private:
    void onTick();
    void onDoTasks();
    void onClear();
    void onExit();
    void runTasksAndReport();
    void addResultsLine(const QString& line);

    ServerState& state_;
    const tasks::TaskList catalog_;  // a copy: the window never depends on the caller keeping it
    PollSchedule schedule_;
    QTimer timer_;
    QPlainTextEdit* txtResults_;
    QPushButton* btnExit_;
    QPushButton* btnClear_;
    QPushButton* bntDoTask_;
};

// Closes the shared connection and ends the event loop at once: no further event of the window
// runs and the window is not asked whether it may close.
void ExitProgram(ServerState& state);

}  // namespace fas::ui
