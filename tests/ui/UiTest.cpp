// The poll schedule, the headless loop and the main window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>

#include "support/Site.h"
#include "ui/HeadlessLoop.h"
#include "ui/MainWindow.h"

namespace fas::ui {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

struct FakeClock : LoopClock {
    void sleepFor(milliseconds delay) override { now += delay; }
    milliseconds now{0};
};

TEST(PollSchedule, RunsEveryPMinutesEveryMinuteForZeroNeverPastTheLargest) {
    // Poll minutes, seconds to the first timed run and between the next, runs in a day.
    const int cases[][4] = {{5, 301, 300, 289},
                            {1, 61, 60, 1441},
                            {0, 1, 60, 1442},   // none: every minute
                            {32767, 0, 0, 1}};  // the count never overflows
    for (const auto& [poll, firstGap, gap, runs] : cases) {
        PollSchedule schedule(static_cast<std::int16_t>(poll));
        FakeClock clock;
        std::vector<milliseconds> at;
        RunHeadlessLoop(
            schedule, clock, [&] { at.push_back(clock.now); },
            [&] { return clock.now < std::chrono::hours(24); });
        EXPECT_EQ(at.size(), static_cast<std::size_t>(runs)) << poll;
        for (std::size_t i = 1; i < at.size(); ++i) {
            EXPECT_EQ(at[i] - at[i - 1], seconds(i == 1 ? firstGap : gap)) << poll << " run " << i;
        }
    }
}

TEST(MainWindow, RunsOnLoadOnTicksAndOnDoTasksEachWithItsLine) {
    static int argc = 1;
    static char* argv[] = {const_cast<char*>("fas_ui_tests"), nullptr};
    [[maybe_unused]] static auto* app = new QApplication(argc, argv);  // never torn down late
    test::Site site;
    ServerState& state = site.state;
    int runs = 0;
    const tasks::TaskList catalog = {{"count", [&](ServerState& s) {
                                          s.counters.addEmail();
                                          ++runs;
                                      }}};
    MainWindow window(state, catalog);  // poll interval 0: every tick runs
    window.load();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(window.pollTimer().interval(), 1000);
    for (const auto until = std::chrono::steady_clock::now() + seconds(5);
         runs < 2 && std::chrono::steady_clock::now() < until;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    EXPECT_EQ(runs, 2) << "the first tick, a second after the load step";
    const auto count = window.schedule().pollTickCount();
    window.findChild<QPushButton*>("bntDoTask")->click();
    EXPECT_EQ(window.schedule().pollTickCount(), count);
    EXPECT_EQ(window.pollTimer().interval(), 60000);
    EXPECT_EQ(runs, 3);
    // One results line a run.
    EXPECT_EQ(window.findChild<QPlainTextEdit*>("txtResults")->toPlainText().count("Emails: 1  "),
              3);
}

// The Windows window's box is one string: newest line first, CR LF after each, the oldest dropped.
TEST(WindowSession, ResultsLinesGoInFrontAndTheOldestBeyondTheLimitGo) {
    std::string box;
    for (const char* line : {"one", "two", "three"}) {
        box = PrependResultsLine(box, line, 2);
    }
    EXPECT_EQ(box, "three\r\ntwo\r\n");
    EXPECT_EQ(PrependResultsLine("typed by hand", "run", 2), "run\r\ntyped by hand");
}

}  // namespace
}  // namespace fas::ui
