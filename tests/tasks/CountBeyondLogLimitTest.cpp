// A run whose counts pass what the log row's columns hold still does all its work: the results
// line shows the true totals and the log row receives them clamped. The limit is lowered through
// the counters' test seam so that the demo database passes it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "startup/CompanySettingsLoader.h"
#include "support/TestDatabase.h"
#include "tasks/ResultsLine.h"
#include "tasks/RuleCatalog.h"
#include "tasks/RunTasks.h"
#include "tools/DemoData.h"

namespace fas::tasks {
namespace {

constexpr int kLimit = 4;  // below every count of the demo's first run

struct DemoRun {
    test::TempDir dir;
    ServerState state;
    std::int64_t autoIssuesBefore = 0;

    explicit DemoRun(int logLimit) {
        const auto file = dir.path() / "compliance.db";
        tools::GenerateDemoDatabase(file, tools::DemoScale::small());
        state.DatabaseLocation = "sqlite:" + file.string();
        state.db.setLocation(state.DatabaseLocation, dir.path());
        state.options.pickupDirectory = dir.path();
        state.counters.setLogLimitForTest(logLimit);
        EXPECT_TRUE(state.db.OpenDatabase()) << state.db.lastOpenError();
        startup::LoadCompanySettings(state);
        autoIssuesBefore = autoIssues();
        state.db.CloseDatabase();
        testing::internal::CaptureStderr();
        RunTasks(state, RuleCatalog());
        testing::internal::GetCapturedStderr();
    }
    std::int64_t autoIssues() {
        return state.db.query("SELECT COUNT(*) AS N FROM Issues WHERE EnteredBy='AUTO SERVER'")
            .int64("N");
    }
    db::Recordset read(std::string_view sql) {
        EXPECT_TRUE(state.db.OpenDatabase());
        db::Recordset rs = state.db.query(sql);
        state.db.CloseDatabase();
        return rs;
    }
};

TEST(CountBeyondLogLimit, TheRunDoesAllItsWorkShowsTrueTotalsAndClampsTheLogRow) {
    DemoRun limited(kLimit);
    DemoRun reference(RunCounters::kLogColumnLimit);
    const RunCounters& counts = limited.state.counters;

    EXPECT_TRUE(limited.state.report.errors.empty()) << limited.state.report.errors.front();
    // Every count passes the lowered limit, and no step stopped short of the unlimited run.
    EXPECT_GT(counts.issuesCreated(), kLimit);
    EXPECT_GT(counts.issuesClosed(), kLimit);
    EXPECT_GT(counts.emails(), kLimit);
    EXPECT_EQ(counts.issuesCreated(), reference.state.counters.issuesCreated());
    EXPECT_EQ(counts.issuesClosed(), reference.state.counters.issuesClosed());
    EXPECT_EQ(counts.emails(), reference.state.counters.emails());

    // The count is the truth: as many automatic issues were added as the counter says.
    ASSERT_TRUE(limited.state.db.OpenDatabase());
    EXPECT_EQ(limited.autoIssues() - limited.autoIssuesBefore, counts.issuesCreated());
    limited.state.db.CloseDatabase();

    EXPECT_THAT(ResultsLine(limited.state, db::DateTime{2027, 1, 2, 0, 0, 1}),
                testing::EndsWith("  - Emails: " + std::to_string(counts.emails()) +
                                  "  Issues Created: " + std::to_string(counts.issuesCreated()) +
                                  "  Issues Closed: " + std::to_string(counts.issuesClosed())));
    auto log = limited.read("SELECT * FROM AutomationServer_Log");
    ASSERT_EQ(log.rowCount(), 1U);
    EXPECT_EQ(log.int16("CountEmails"), kLimit);
    EXPECT_EQ(log.int16("CountIssues"), kLimit);
    EXPECT_EQ(log.int16("CountIssuesClose"), kLimit);
    auto unclamped = reference.read("SELECT * FROM AutomationServer_Log");
    EXPECT_EQ(unclamped.int16("CountIssues"), counts.issuesCreated());
}

}  // namespace
}  // namespace fas::tasks
