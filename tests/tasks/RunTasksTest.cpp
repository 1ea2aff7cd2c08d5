// A task run around its steps: counters, the log row, the results line, errors and the mute lift;
// a lost connection is the fault suite's.

#include <gmock/gmock.h>

#include "support/Site.h"
#include "tasks/ResultsLine.h"
#include "tasks/RunTasks.h"

namespace fas::tasks {
namespace {

using testing::HasSubstr;

std::string logRows(test::Site& s) {
    return s.contents(
        {"SELECT CountEmails,CountIssues,CountIssuesClose FROM AutomationServer_Log ORDER BY ID"});
}

// A step that counts what it did, and that it ran.
TaskStep counting(std::string label, int* ran, int created, int closed, int emails) {
    return {label, [=](ServerState& state) {
                ++*ran;
                for (int i = 0; i < created; ++i)
                    state.counters.addIssueCreated();
                for (int i = 0; i < closed; ++i)
                    state.counters.addIssueClosed();
                for (int i = 0; i < emails; ++i)
                    state.counters.addEmail();
            }};
}

TEST(RunTasks, AFailingStepIsReportedAndTheRestStillRunsAndIsLogged) {
    test::Site s;
    int ran = 0;
    s.state.counters.addEmail();  // counts of an earlier run are zeroed when the run opens
    // Counting never stops work: past what the log row's columns hold (a limit lowered here), the
    // results line shows the true totals and the log row receives them clamped.
    s.state.counters.setLogLimitForTest(2);
    const std::string err = s.run({
        counting("step 10 (DL Expire)", &ran, 2, 1, 0),
        {"step 44 (Accident)",
         [](ServerState&) { throw std::runtime_error("item 'X': DaysInAdvance is Null"); }},
        {"step 20 (Vehicle)",
         [](ServerState& state) { state.db.execute("UPDATE NoSuchTable SET X=1"); }},
        counting("quiet", &ran, 0, 0, 0),
        counting("step 84 (dispatch)", &ran, 0, 0, 3),
    });
    EXPECT_EQ(ran, 3);
    // The per-step report names the steps that did something or failed.
    std::string reported;
    for (const StepReport& step : s.state.report.steps) {
        reported += step.label + "/" + std::to_string(step.errors.size()) + " ";
    }
    EXPECT_EQ(
        reported,
        "step 10 (DL Expire)/0 step 44 (Accident)/1 step 20 (Vehicle)/1 step 84 (dispatch)/0 ");
    EXPECT_THAT(err, testing::AllOf(HasSubstr("DaysInAdvance is Null"), HasSubstr("NoSuchTable")));
    EXPECT_FALSE(s.state.db.isOpen());
    EXPECT_EQ(logRows(s), "2|2|1|\n");
    EXPECT_EQ(ResultsLine(s.state, db::DateTime{2026, 12, 4, 18, 48, 35}),
              "12/4/2026 6:48:35 PM  - Emails: 3  Issues Created: 2  Issues Closed: 1  Errors: 2 "
              "(step 44 (Accident): item 'X': DaysInAdvance is Null)");
    // A database that cannot be opened runs nothing and keeps the last run's counts.
    std::filesystem::rename(s.file(), s.dir() / "moved.db");
    s.run({counting("not run", &ran, 1, 1, 1)});
    EXPECT_EQ(ran, 3);
    EXPECT_THAT(ResultsLine(s.state, db::DateTime::fromDate(2027, 1, 2)),
                testing::StartsWith("1/2/2027  - Emails: 3  Issues Created: 2  Issues Closed: 1  "
                                    "Errors: 1 (Could not open the database: "));
    std::filesystem::rename(s.dir() / "moved.db", s.file());
    s.run({});
    EXPECT_EQ(ResultsLine(s.state, db::DateTime::fromDate(2027, 3, 15)),
              "3/15/2027  - Emails: 0  Issues Created: 0  Issues Closed: 0");
    EXPECT_EQ(logRows(s), "2|2|1|\n0|0|0|\n");
}

// Mutes lift by the database clock: only those whose time has come, a Null time never.
TEST(RunTasks, LiftsOnlyTheMutesWhoseTimeHasComeByTheDatabaseClock) {
    test::Site s;
    const auto now = db::DateTime::nowLocal();
    for (const auto& [id, muted, at] : {std::tuple{1, 1, db::Value(now.addDays(-3))},
                                        {2, 1, db::Value(now.addSeconds(-5))},
                                        {3, 1, db::Value(now.addDays(1))},
                                        {4, 1, db::Value()},
                                        {5, 0, db::Value(now.addSeconds(3600))}}) {
        s.exec(
            "INSERT INTO ServiceContract (ID,DisableEmailNotifications,EnableNotificationsAtTime) "
            "VALUES (?,?,?)",
            {id, muted, at});
    }
    s.run({});
    EXPECT_EQ(s.contents({"SELECT DisableEmailNotifications,EnableNotificationsAtTime IS NULL "
                          "FROM ServiceContract ORDER BY ID"}),
              "0|1|\n0|1|\n1|0|\n1|1|\n0|0|\n");
}

}  // namespace
}  // namespace fas::tasks
