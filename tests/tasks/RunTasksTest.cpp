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

TaskStep counting(std::string label, std::vector<std::string>* trace, int created, int closed,
                  int emails) {
    return {label, [=](ServerState& state) {
                trace->push_back(label);
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
    std::vector<std::string> trace;
    s.state.counters.addEmail();  // counts of an earlier run are zeroed when the run opens
    // Counting never stops work: past what the log row's columns hold (a limit lowered here), the
    // results line shows the true totals and the log row receives them clamped.
    s.state.counters.setLogLimitForTest(2);
    const TaskList catalog = {
        counting("step 10 (DL Expire)", &trace, 2, 1, 0),
        {"step 44 (Accident)",
         [&](ServerState&) {
             trace.push_back("bad");
             throw std::runtime_error("item 'X': DaysInAdvance is Null");
         }},
        {"step 20 (Vehicle)",
         [&](ServerState& state) {
             trace.push_back("bad sql");
             state.db.execute("UPDATE NoSuchTable SET X=1");
         }},
        counting("quiet", &trace, 0, 0, 0),
        counting("step 84 (dispatch)", &trace, 0, 0, 3),
    };
    testing::internal::CaptureStderr();
    RunTasks(s.state, catalog);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(trace, (std::vector<std::string>{"step 10 (DL Expire)", "bad", "bad sql", "quiet",
                                               "step 84 (dispatch)"}));
    // The per-step report names the steps that did something or failed.
    std::string reported;
    for (const StepReport& step : s.state.report.steps) {
        reported += step.label + "/" + std::to_string(step.errors.size()) + " ";
    }
    EXPECT_EQ(
        reported,
        "step 10 (DL Expire)/0 step 44 (Accident)/1 step 20 (Vehicle)/1 step 84 (dispatch)/0 ");
    EXPECT_THAT(err, HasSubstr("DaysInAdvance is Null"));
    EXPECT_THAT(err, HasSubstr("NoSuchTable"));
    EXPECT_FALSE(s.state.db.isOpen());
    EXPECT_EQ(logRows(s), "2|2|1|\n");
    EXPECT_EQ(ResultsLine(s.state, db::DateTime{2026, 12, 4, 18, 48, 35}),
              "12/4/2026 6:48:35 PM  - Emails: 3  Issues Created: 2  Issues Closed: 1  Errors: 2 "
              "(step 44 (Accident): item 'X': DaysInAdvance is Null)");
    // A database that cannot be opened runs nothing and keeps the last run's counts.
    std::filesystem::rename(s.file(), s.dir() / "moved.db");
    RunTasks(s.state, {counting("not run", &trace, 1, 1, 1)});
    EXPECT_EQ(trace.size(), 5u);
    EXPECT_THAT(ResultsLine(s.state, db::DateTime::fromDate(2027, 1, 2)),
                testing::StartsWith("1/2/2027  - Emails: 3  Issues Created: 2  Issues Closed: 1  "
                                    "Errors: 1 (Could not open the database: "));
    std::filesystem::rename(s.dir() / "moved.db", s.file());
    RunTasks(s.state, {});
    EXPECT_EQ(ResultsLine(s.state, db::DateTime::fromDate(2027, 3, 15)),
              "3/15/2027  - Emails: 0  Issues Created: 0  Issues Closed: 0");
    EXPECT_EQ(logRows(s), "2|2|1|\n0|0|0|\n");
}

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
    RunTasks(s.state, {});
    EXPECT_EQ(s.contents({"SELECT DisableEmailNotifications,EnableNotificationsAtTime IS NULL "
                          "FROM ServiceContract ORDER BY ID"}),
              "0|1|\n0|1|\n1|0|\n1|1|\n0|0|\n");
}

}  // namespace
}  // namespace fas::tasks
