#include <gtest/gtest.h>

#include <vector>

#include "ui/HeadlessLoop.h"

namespace fas::ui {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

class FakeClock : public LoopClock {
  public:
    void sleepFor(milliseconds delay) override {
        sleeps.push_back(delay);
        now += delay;
    }
    milliseconds now{0};
    std::vector<milliseconds> sleeps;
};

TEST(HeadlessLoop, FollowsThePollScheduleInSimulatedTime) {
    for (const int poll : {5, 0}) {
        PollSchedule schedule(static_cast<std::int16_t>(poll));
        FakeClock clock;
        std::vector<milliseconds> runs;
        const milliseconds runTime(2500);
        const milliseconds span = std::chrono::hours(6);
        RunHeadlessLoop(
            schedule, clock,
            [&] {
                runs.push_back(clock.now);
                clock.now += runTime;
            },
            [&] { return clock.now < span; });

        ASSERT_FALSE(runs.empty());
        EXPECT_EQ(runs.front(), milliseconds(0));
        ASSERT_GE(clock.sleeps.size(), 2U);
        EXPECT_EQ(clock.sleeps[0], seconds(1));
        for (std::size_t i = 1; i < clock.sleeps.size(); ++i) {
            EXPECT_EQ(clock.sleeps[i], seconds(60));
        }
        // Runs are P minutes (or, for P = 0, one minute) apart plus the run time.
        const milliseconds gap = poll == 0 ? seconds(60) : seconds(60 * poll);
        milliseconds expected = runTime + seconds(1) + (poll == 0 ? seconds(0) : gap);
        for (std::size_t i = 1; i < runs.size(); ++i) {
            EXPECT_EQ(runs[i], expected) << "poll " << poll << ", run " << i;
            expected += gap + runTime;
        }
        EXPECT_GT(runs.size(), poll == 0 ? 300U : 60U);
    }
}

}  // namespace
}  // namespace fas::ui
