// The poll schedule, the headless loop and the results box.
#include <gtest/gtest.h>

#include "ui/HeadlessLoop.h"
#include "ui/WindowSession.h"

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
