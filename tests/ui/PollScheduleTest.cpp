#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "ui/PollSchedule.h"

namespace fas::ui {
namespace {

using std::chrono::milliseconds;
using std::chrono::minutes;
using std::chrono::seconds;

// Drives a schedule the way the window does, in simulated time: the timer restarts after each
// tick's or manual run's work, and a run takes `runTime`.
struct Simulation {
    PollSchedule schedule;
    milliseconds runTime;
    milliseconds now{0};
    milliseconds nextTick{0};
    std::vector<milliseconds> runs;       // start of every run
    std::vector<milliseconds> timedRuns;  // start of runs started by a tick
    int ticks = 0;

    Simulation(std::int16_t poll, milliseconds run) : schedule(poll), runTime(run) {
        this->run();
        nextTick = now + schedule.loaded();
    }
    void run() {
        runs.push_back(now);
        now += runTime;
    }
    void advanceTo(milliseconds until) {
        while (nextTick <= until) {
            now = nextTick;
            ++ticks;
            if (schedule.tick()) {
                timedRuns.push_back(now);
                run();
            }
            nextTick = now + PollSchedule::kTickInterval;
        }
        now = std::max(now, until);
    }
    void click() {
        run();
        nextTick = now + schedule.manualRun();
    }
};

// Timed runs P minutes apart plus the run time, the first 1 s + P minutes after the load-step
// run ended; every tick runs when P <= 0.
std::vector<milliseconds> expectedTimedRuns(int poll, milliseconds runTime, milliseconds span) {
    std::vector<milliseconds> out;
    const milliseconds gap = poll <= 0 ? milliseconds(seconds(60)) : milliseconds(minutes(poll));
    milliseconds at = runTime + seconds(1) + (poll <= 0 ? milliseconds(0) : gap);
    while (at <= span) {
        out.push_back(at);
        at += gap + runTime;
    }
    return out;
}

TEST(PollSchedule, TimedRunsComeEveryPollIntervalOverADay) {
    const milliseconds day = std::chrono::hours(24);
    for (const int poll : {5, 1, 0, -4, 60}) {
        for (const milliseconds runTime : {milliseconds(0), milliseconds(7300)}) {
            Simulation sim(static_cast<std::int16_t>(poll), runTime);
            sim.advanceTo(day);
            EXPECT_EQ(sim.timedRuns, expectedTimedRuns(poll, runTime, day))
                << "poll " << poll << ", run time " << runTime.count() << " ms";
            EXPECT_EQ(sim.runs.front(), milliseconds(0));
        }
    }
    // The examples: P = 5 runs at about 5 min 1 s and 10 min 1 s; P = 0 at 1 s and 61 s.
    Simulation five(5, milliseconds(0));
    five.advanceTo(minutes(11));
    EXPECT_EQ(five.timedRuns, (std::vector<milliseconds>{seconds(301), seconds(601)}));
    Simulation zero(0, milliseconds(0));
    zero.advanceTo(seconds(61));
    EXPECT_EQ(zero.timedRuns, (std::vector<milliseconds>{seconds(1), seconds(61)}));
}

TEST(PollSchedule, AManualRunRestartsTheWaitButNotTheCount) {
    Simulation sim(5, milliseconds(0));
    sim.advanceTo(seconds(150));  // ticks at 1 s, 61 s and 121 s
    const auto count = sim.schedule.pollTickCount();
    sim.click();
    EXPECT_EQ(sim.schedule.pollTickCount(), count);
    EXPECT_EQ(sim.nextTick, seconds(210));
    sim.advanceTo(seconds(700));
    // The timed run still comes on the sixth tick, which the click moved to 330 s.
    EXPECT_EQ(sim.timedRuns, (std::vector<milliseconds>{seconds(330), seconds(630)}));
    EXPECT_EQ(sim.runs,
              (std::vector<milliseconds>{seconds(0), seconds(150), seconds(330), seconds(630)}));

    // Clicks on every minute in between never start a timed run early.
    Simulation busy(3, milliseconds(0));
    for (int i = 1; i <= 10; ++i) {
        busy.advanceTo(seconds(30 * i));
        busy.click();
    }
    // Ticks: 1 s, then the clicks keep pushing the timer; only the one at 1 s got through.
    EXPECT_EQ(busy.ticks, 1);
    EXPECT_TRUE(busy.timedRuns.empty());
    busy.advanceTo(seconds(300 + 60 * 3));
    EXPECT_EQ(busy.timedRuns, (std::vector<milliseconds>{seconds(300 + 60 * 3)}));
}

TEST(PollSchedule, TheLargestIntervalNeverOverflowsTheCount) {
    Simulation sim(32767, milliseconds(0));
    // 40,000 ticks: past the point where a 16-bit count would overflow.
    sim.advanceTo(seconds(1) + minutes(40000));
    EXPECT_EQ(sim.ticks, 40001);
    EXPECT_EQ(sim.schedule.pollTickCount(), 32767);
    EXPECT_TRUE(sim.timedRuns.empty());
    EXPECT_EQ(sim.runs.size(), 1U);

    // One below still runs, on tick 32767.
    Simulation below(32766, milliseconds(0));
    below.advanceTo(seconds(1) + minutes(40000));
    EXPECT_EQ(below.timedRuns,
              (std::vector<milliseconds>{milliseconds(seconds(1)) + minutes(32766)}));
}

}  // namespace
}  // namespace fas::ui
