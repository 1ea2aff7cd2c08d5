#pragma once

#include <QTimer>
#include <QWidget>

#include "state/ServerState.h"
#include "tasks/RunTasks.h"
#include "ui/WindowSession.h"

class QPlainTextEdit;
class QPushButton;

namespace fas::ui {

// The server's one window, Form1: the results list, Exit, Clear and Do Tasks, and the poll timer.
// Fixed size, no maximize button. Runs happen on this thread with the timer stopped, so they
// never overlap.
class MainWindow : public QWidget {
    Q_OBJECT

  public:
    MainWindow(ServerState& state, const tasks::TaskList& catalog, QWidget* parent = nullptr);

    // The load step, before the window is shown: the first task run, its results line, and the
    // poll timer started for the first tick one second later.
    void load();

    // Shows the window and extends the design caption with " - " and the caption suffix of
    // config.txt (an empty suffix leaves the trailing " - ").
    void showServer();

    const PollSchedule& schedule() const { return session_.schedule(); }
    const QTimer& pollTimer() const { return timer_; }

  private:
    void onTick();
    void onDoTasks();
    void onClear();
    void onExit();
    void present(const WindowSession::Step& step);

    WindowSession session_;
    QTimer timer_;
    QPlainTextEdit* txtResults_;
    QPushButton* btnExit_;
    QPushButton* btnClear_;
    QPushButton* bntDoTask_;
};

}  // namespace fas::ui
