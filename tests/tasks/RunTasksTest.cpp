#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "support/TestDatabase.h"
#include "tasks/ResultsLine.h"
#include "tasks/RunTasks.h"

namespace fas::tasks {
namespace {

using testing::HasSubstr;

// A server state on a fresh database with the connection closed, as between runs.
struct Server {
    test::TempDatabase database;
    ServerState state;
    Server() { database.attach(state); }

    // Reads the database through a connection of its own.
    db::Recordset read(std::string_view sql) {
        ServerState reader;
        database.attach(reader);
        EXPECT_TRUE(reader.db.OpenDatabase()) << reader.db.lastOpenError();
        auto rs = reader.db.query(sql);
        reader.db.CloseDatabase();
        return rs;
    }
    std::int64_t logRows() {
        return read("SELECT COUNT(*) AS N FROM AutomationServer_Log").int64("N");
    }
    void exec(std::string_view sql, const db::Params& params = {}) {
        ServerState writer;
        database.attach(writer);
        ASSERT_TRUE(writer.db.OpenDatabase());
        writer.db.execute(sql, params);
        writer.db.CloseDatabase();
    }
};

TaskStep counting(std::string label, std::vector<std::string>* trace, int created, int closed,
                  int emails) {
    return {label, [=](ServerState& state) {
                trace->push_back(label);
                for (int i = 0; i < created; ++i) {
                    state.counters.addIssueCreated();
                }
                for (int i = 0; i < closed; ++i) {
                    state.counters.addIssueClosed();
                }
                for (int i = 0; i < emails; ++i) {
                    state.counters.addEmail();
                }
            }};
}

TEST(RunTasks, ANothingMatchesRunWritesOneLogRowOfZeros) {
    Server s;
    // Counts from an earlier run are zeroed by the run that opens.
    s.state.counters.addEmail();
    s.state.report.recordError("from the previous run");
    const auto before = db::DateTime::nowLocal().addSeconds(-2);
    RunTasks(s.state, {});
    const auto after = db::DateTime::nowLocal().addSeconds(2);

    EXPECT_FALSE(s.state.db.isOpen());
    EXPECT_TRUE(s.state.report.errors.empty());
    auto rs = s.read("SELECT * FROM AutomationServer_Log");
    ASSERT_EQ(rs.rowCount(), 1U);
    EXPECT_EQ(rs.int16("CountEmails"), 0);
    EXPECT_EQ(rs.int16("CountIssues"), 0);
    EXPECT_EQ(rs.int16("CountIssuesClose"), 0);
    EXPECT_GE(rs.dateTime("LogDate"), before);
    EXPECT_LE(rs.dateTime("LogDate"), after);

    const db::DateTime at{2026, 12, 4, 18, 48, 35};
    EXPECT_EQ(ResultsLine(s.state, at),
              "12/4/2026 6:48:35 PM  - Emails: 0  Issues Created: 0  Issues Closed: 0");
}

TEST(RunTasks, LiftsOnlyTheMutesWhoseTimeHasComeByTheDatabaseClock) {
    Server s;
    const auto now = db::DateTime::nowLocal();
    const std::string insert =
        "INSERT INTO ServiceContract (ID,DisableEmailNotifications,EnableNotificationsAtTime) "
        "VALUES (?,?,?)";
    s.exec(insert, {1, 1, now.addDays(-3)});
    s.exec(insert, {2, 1, now.addSeconds(-5)});
    s.exec(insert, {3, 1, now.addDays(1)});
    s.exec(insert, {4, 1, nullptr});
    s.exec(insert, {5, 0, now.addSeconds(3600)});

    RunTasks(s.state, {});
    auto rs = s.read(
        "SELECT ID, DisableEmailNotifications AS Muted, EnableNotificationsAtTime AS AtTime "
        "FROM ServiceContract ORDER BY ID");
    std::vector<std::pair<std::int64_t, std::string>> seen;
    for (; !rs.eof(); rs.moveNext()) {
        seen.emplace_back(rs.int64("ID"), std::to_string(rs.int64("Muted")) + " " +
                                              (rs.value("AtTime").isNull() ? "NULL" : "set"));
    }
    const std::vector<std::pair<std::int64_t, std::string>> expected = {
        {1, "0 NULL"}, {2, "0 NULL"}, {3, "1 set"}, {4, "1 NULL"}, {5, "0 set"}};
    EXPECT_EQ(seen, expected);
}

TEST(RunTasks, AFailingStepIsReportedAndTheLaterStepsStillRun) {
    Server s;
    std::vector<std::string> trace;
    const TaskList catalog = {
        counting("Date-expiry rule DL Expire", &trace, 2, 1, 0),
        {"Close-on-flag pass Accident",
         [&](ServerState&) {
             trace.push_back("bad");
             throw std::runtime_error("AutomationServer_Alert item 'X': DaysInAdvance is Null");
         }},
        {"Close-on-exclusion pass Vehicle",
         [&](ServerState& state) {
             trace.push_back("bad sql");
             state.db.execute("UPDATE NoSuchTable SET X=1");
         }},
        counting("Outbox dispatch", &trace, 0, 0, 3),
    };

    testing::internal::CaptureStderr();
    RunTasks(s.state, catalog);
    const std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(trace, (std::vector<std::string>{"Date-expiry rule DL Expire", "bad", "bad sql",
                                               "Outbox dispatch"}));
    ASSERT_EQ(s.state.report.errors.size(), 2U);
    EXPECT_THAT(err, HasSubstr("DaysInAdvance is Null"));
    EXPECT_THAT(err, HasSubstr("NoSuchTable"));

    auto rs = s.read("SELECT * FROM AutomationServer_Log");
    ASSERT_EQ(rs.rowCount(), 1U);
    EXPECT_EQ(rs.int16("CountEmails"), 3);
    EXPECT_EQ(rs.int16("CountIssues"), 2);
    EXPECT_EQ(rs.int16("CountIssuesClose"), 1);

    const auto line = ResultsLine(s.state, db::DateTime::fromDate(2027, 3, 15));
    EXPECT_EQ(line,
              "3/15/2027  - Emails: 3  Issues Created: 2  Issues Closed: 1  Errors: 2 "
              "(Close-on-flag pass Accident: AutomationServer_Alert item 'X': DaysInAdvance is "
              "Null)");

    // The next run starts with a clean report.
    RunTasks(s.state, {});
    EXPECT_THAT(ResultsLine(s.state, db::DateTime::nowLocal()), testing::Not(HasSubstr("Errors")));
}

TEST(RunTasks, ALostConnectionEndsTheRunWithoutALogRow) {
    Server s;
    std::vector<std::string> trace;
    const TaskList catalog = {
        counting("first", &trace, 1, 0, 0),
        {"lost",
         [&](ServerState& state) {
             trace.push_back("lost");
             state.db.failStatementAsLostConnection(1);
             state.db.execute("UPDATE Issues SET Status = 'x' WHERE 1 = 0");
         }},
        counting("never", &trace, 0, 0, 1),
    };
    testing::internal::CaptureStderr();
    RunTasks(s.state, catalog);
    testing::internal::GetCapturedStderr();

    EXPECT_EQ(trace, (std::vector<std::string>{"first", "lost"}));
    EXPECT_EQ(s.logRows(), 0);
    EXPECT_FALSE(s.state.db.isOpen());
    EXPECT_EQ(s.state.counters.issuesCreated(), 1);
    EXPECT_EQ(s.state.counters.emails(), 0);
    ASSERT_EQ(s.state.report.errors.size(), 1U);
    EXPECT_THAT(ResultsLine(s.state, db::DateTime::nowLocal()),
                HasSubstr("Issues Created: 1  Issues Closed: 0  Errors: 1 (lost: "));

    // The next run opens afresh.
    RunTasks(s.state, {});
    EXPECT_EQ(s.logRows(), 1);
}

TEST(RunTasks, AnOpenFailureRunsNothingAndKeepsTheCounters) {
    Server s;
    std::vector<std::string> trace;
    RunTasks(s.state, {counting("step", &trace, 4, 5, 6)});
    ASSERT_EQ(s.logRows(), 1);

    std::filesystem::rename(s.database.file(), s.database.dir() / "moved.db");
    testing::internal::CaptureStderr();
    RunTasks(s.state, {counting("step", &trace, 1, 1, 1)});
    const auto err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(trace.size(), 1U);
    EXPECT_EQ(s.state.counters.issuesCreated(), 4);
    EXPECT_EQ(s.state.counters.issuesClosed(), 5);
    EXPECT_EQ(s.state.counters.emails(), 6);
    EXPECT_THAT(err, HasSubstr("Could not open the database"));
    EXPECT_THAT(ResultsLine(s.state, db::DateTime{2027, 1, 2, 0, 0, 1}),
                testing::StartsWith("1/2/2027 12:00:01 AM  - Emails: 6  Issues Created: 4  Issues "
                                    "Closed: 5  Errors: 1 (Could not open the database: "));
    std::filesystem::rename(s.database.dir() / "moved.db", s.database.file());
    EXPECT_EQ(s.logRows(), 1);
}

TEST(RunTasks, ACountPastTheLogColumnsIsNoErrorAndIsClampedInTheLogRow) {
    Server s;
    std::vector<std::string> trace;
    const TaskList catalog = {
        {"many",
         [](ServerState& state) {
             for (int i = 0; i < 40000; ++i) {
                 state.counters.addIssueClosed();
             }
         }},
        counting("after", &trace, 1, 0, 0),
    };
    testing::internal::CaptureStderr();
    RunTasks(s.state, catalog);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(trace.size(), 1U);
    EXPECT_TRUE(s.state.report.errors.empty());
    EXPECT_EQ(s.state.counters.issuesClosed(), 40000);
    auto rs = s.read("SELECT * FROM AutomationServer_Log");
    ASSERT_EQ(rs.rowCount(), 1U);
    EXPECT_EQ(rs.int16("CountIssuesClose"), 32767);
    EXPECT_EQ(rs.int16("CountIssues"), 1);
}

TEST(ResultsLine, ShowsTheFirstErrorOnOneLine) {
    ServerState state;
    state.report.recordError("Statement failed:\r\nSELECT *\nFROM X");
    state.report.recordError("second");
    EXPECT_EQ(ResultsLine(state, db::DateTime{2026, 1, 9, 12, 5, 0}),
              "1/9/2026 12:05:00 PM  - Emails: 0  Issues Created: 0  Issues Closed: 0  Errors: 2 "
              "(Statement failed: SELECT * FROM X)");
}

}  // namespace
}  // namespace fas::tasks
