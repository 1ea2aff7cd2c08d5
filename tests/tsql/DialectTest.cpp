// The embedded engine waits no longer than the query timeout for another program's lock.
#include <gmock/gmock.h>
#include <sqlite3.h>

#include "support/Environment.h"
#include "support/Site.h"
#include "tasks/RuleCatalog.h"

namespace fas {
namespace {

// Another program holding the write lock past the query timeout (set by its variable) fails the
// step that waits, naming the step, its statement and the timeout; the other steps do their work,
// and the next run does what the failed step could not.
TEST(Dialect, AStepKeptWaitingPastTheQueryTimeoutFailsAloneAndIsCaughtUpNextRun) {
    test::Site reference(test::DemoTemplate());
    reference.run();
    const auto& steps = reference.state.report.steps;
    const auto busy = std::find_if(steps.begin(), steps.end(),
                                   [](const StepReport& step) { return step.issuesCreated > 0; });
    ASSERT_NE(busy, steps.end());
    const std::int64_t issues = reference.count("SELECT COUNT(*) FROM Issues");

    test::SetEnvironment("AUTOMATION_SERVER_QUERY_TIMEOUT", "1");
    test::Site s(test::DemoTemplate());
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(s.file().string().c_str(), &holder), SQLITE_OK);
    tasks::TaskList catalog = tasks::RuleCatalog();
    for (tasks::TaskStep& step : catalog) {
        if (step.label == busy->label) {
            step.run = [holder, run = step.run](ServerState& state) {
                sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
                const std::unique_ptr<sqlite3, void (*)(sqlite3*)> release(holder, [](sqlite3* h) {
                    sqlite3_exec(h, "ROLLBACK", nullptr, nullptr, nullptr);
                });  // however the step ends
                run(state);
            };
        }
    }
    s.run(catalog);
    test::SetEnvironment("AUTOMATION_SERVER_QUERY_TIMEOUT", std::nullopt);
    sqlite3_close(holder);
    ASSERT_EQ(s.state.report.errors.size(), 1u);
    EXPECT_THAT(s.state.report.errors[0],
                testing::AllOf(testing::StartsWith(busy->label + ": "),
                               testing::HasSubstr("the start of a transaction was cancelled"),
                               testing::HasSubstr("query timeout of 1 s")));
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM Issues"), issues - busy->issuesCreated);
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM AutomationServer_Log"), 1);
    s.run();
    EXPECT_EQ(s.state.report.errors, std::vector<std::string>{});
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM Issues"), issues);
}

}  // namespace
}  // namespace fas
