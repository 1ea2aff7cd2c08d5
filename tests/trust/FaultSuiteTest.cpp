// A task run cut off by a lost database connection at any point of the catalog, or by the mail
// server going away in the middle of a dispatch, then clean runs: the database ends as it would
// have without the fault (nothing lost, nothing recorded or raised twice) and every notification
// reaches its recipients at least once.

#include <gmock/gmock.h>

#include "trust/TrustSite.h"

namespace fas::trust {
namespace {

using testing::HasSubstr;

constexpr std::string_view kQueue = "INSERT INTO AutomationServer_EmailsSent";
constexpr std::string_view kRecord = "INSERT INTO AutomationServer_Emails ";
constexpr std::string_view kMarkSent = "UPDATE AutomationServer_EmailsSent SET EmailSent=1";

class LostConnection : public testing::Test {
  protected:
    // A faulted case gets its faulted run, then two clean runs.
    static const Reference& ref() { return TheReference(); }

    static void faultThenRecover(std::uint64_t ordinal, const std::string& where) {
        SCOPED_TRACE("statement " + std::to_string(ordinal) + " of the run, in " + where);
        ServerCopy server;
        server.state.db.failStatementAsLostConnection(ordinal);
        server.run();
        ASSERT_EQ(server.state.report.errors.size(), 1u);
        EXPECT_THAT(server.state.report.errors.front(), HasSubstr(where + ": "));
        EXPECT_THAT(server.state.report.errors.front(), HasSubstr("(the run ended here)"));
        EXPECT_EQ(server.count("SELECT COUNT(*) FROM AutomationServer_Log"), 0);
        for (int run = 0; run < 2; ++run) {
            server.run();
            ASSERT_THAT(server.state.report.errors, testing::IsEmpty());
        }
        EXPECT_EQ(ref().end.rows, ReadEndState(server).rows);
        EXPECT_TRUE(AllDelivered(ref().end.sent, server.pickedUp()));
    }
};

// Each step loses the connection at its first statement and at the one in its middle, and the
// mute lift before the steps at the run's first. The reference is clean and delivers its mail.
TEST_F(LostConnection, AtEveryStepThenCleanRunsEndAsIfNothingHadHappened) {
    ASSERT_THAT(ref().errors, testing::IsEmpty());
    ASSERT_GT(ref().end.sent.size(), 10u);
    EXPECT_TRUE(AllDelivered(ref().end.sent, ref().server.pickedUp()));
    faultThenRecover(1, "Lifting due notification mutes");
    for (const StepSpan& step : ref().steps) {
        faultThenRecover(step.first, step.label);
        if (step.statements.size() > 1) {
            faultThenRecover(step.first + step.statements.size() / 2, step.label);
        }
    }
}

// A notified row's e-mails and its notification record are one unit; a message that went out
// before its rows were marked sent goes out again rather than never.
TEST_F(LostConnection, InsideANotifiedRowAndBeforeMarkingSent) {
    bool beforeRecord = false, betweenRecipients = false;
    for (const StepSpan& step : ref().steps) {
        bool queued = false;
        for (std::size_t i = 0; i < step.statements.size(); ++i) {
            const std::string& sql = step.statements[i];
            const bool record = sql.starts_with(kRecord);
            if (queued && !(record ? beforeRecord : betweenRecipients)) {
                (record ? beforeRecord : betweenRecipients) = true;
                faultThenRecover(step.first + i, step.label);
            }
            queued = !record && (queued || sql.starts_with(kQueue));
        }
    }
    EXPECT_TRUE(beforeRecord && betweenRecipients);
    const StepSpan& dispatch = ref().steps.back();
    const auto third = std::find_if(
        dispatch.statements.begin(), dispatch.statements.end(),
        [n = 0](const std::string& sql) mutable { return sql.starts_with(kMarkSent) && ++n == 3; });
    ASSERT_NE(third, dispatch.statements.end());
    faultThenRecover(
        dispatch.first + static_cast<std::uint64_t>(third - dispatch.statements.begin()),
        dispatch.label);
}

TEST_F(LostConnection, AMailServerThatGoesAwayMidDispatchLosesNothing) {
    ServerCopy server;
    auto first = std::make_unique<test::SmtpTestServer>();
    server.sendThrough(*first);
    int marks = 0;  // stopped right after it accepted its third message, before that is marked
    server.state.db.setStatementObserver([&](std::string_view sql, const db::Params&) {
        if (sql.starts_with(kMarkSent) && ++marks == 3) {
            first->stop();
        }
    });
    server.run();
    server.state.db.setStatementObserver(nullptr);
    ASSERT_EQ(server.state.report.errors.size(), 1u);
    EXPECT_THAT(server.state.report.errors.front(), HasSubstr("stay pending for the next run"));
    std::vector<test::ReceivedMessage> all = first->messages();
    EXPECT_EQ(all.size(), 3u);

    // The next server closes the connection after every two messages.
    test::SmtpTestServer second({.maxMessagesPerConnection = 2});
    server.sendThrough(second);
    server.run();
    server.run();
    EXPECT_THAT(server.state.report.errors, testing::IsEmpty());
    EXPECT_GT(second.connections(), 2);
    for (auto& m : second.messages()) {
        all.push_back(std::move(m));
    }
    EXPECT_EQ(ref().end.rows, ReadEndState(server).rows);
    EXPECT_TRUE(AllDelivered(ref().end.sent, all));
}

// A stop (SIGTERM under systemd) lands at a checkpoint: between steps, between the rows of a walk,
// between messages. What the run did before it is whole and logged; the next runs complete it.
TEST(StopRequest, AtAnyCheckpointKeepsEveryRowWholeLogsTheRunAndTheNextRunsCompleteIt) {
    ServerCopy counting;
    int checkpoints = 0;
    counting.state.control.setHeartbeat([&] { ++checkpoints; }, {});
    counting.run();
    ASSERT_GT(checkpoints, 100);
    for (const int at : {checkpoints / 10, checkpoints / 4, checkpoints / 2, checkpoints - 3}) {
        SCOPED_TRACE("stopped at checkpoint " + std::to_string(at) + " of " +
                     std::to_string(checkpoints));
        ServerCopy server;
        int seen = 0;
        server.state.control.setHeartbeat(
            [&] {
                if (++seen == at) {
                    server.state.control.stopRequested = true;
                }
            },
            {});
        server.run();
        ASSERT_TRUE(server.state.report.stoppedInStep);
        EXPECT_THAT(server.state.report.errors, testing::IsEmpty());
        EXPECT_EQ(server.count("SELECT COUNT(*) FROM AutomationServer_Log WHERE CountEmails=? AND "
                               "CountIssues=? AND CountIssuesClose=?",
                               {server.state.counters.loggedEmails(),
                                server.state.counters.loggedIssuesCreated(),
                                server.state.counters.loggedIssuesClosed()}),
                  1);
        server.state.control.clearHeartbeat();
        server.state.control.stopRequested = false;
        server.run();
        server.run();
        EXPECT_EQ(TheReference().end.rows, ReadEndState(server).rows);
        EXPECT_TRUE(AllDelivered(TheReference().end.sent, server.pickedUp()));
    }
}

}  // namespace
}  // namespace fas::trust
