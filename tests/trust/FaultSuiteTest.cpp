// A task run cut off by a lost database connection at any point of the catalog, or by the mail
// server going away in the middle of a dispatch, then clean runs: the database ends as it would
// have without the fault (nothing lost, nothing recorded or raised twice) and every notification
// reaches its recipients at least once.

#include <gmock/gmock.h>

#include "tasks/ResultsLine.h"
#include "tasks/RuleCatalog.h"
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

// The database chooses a statement of each step as a deadlock victim on the first try: it is done
// again after a pause and the run ends as if nothing had happened. Chosen on every try, the step
// has the deadlock as its error and did nothing, as if left out of the run; the next run does it.
TEST_F(LostConnection, DeadlockVictimsAtEveryStepAreDoneAgainUpToThreeTries) {
    const std::size_t referenceMessages = ref().server.pickedUp().size();
    const auto deadlock = [&](std::uint64_t ordinal, std::size_t step, int times) {
        const std::string where =
            step < ref().steps.size() ? ref().steps[step].label : "Lifting due notification mutes";
        SCOPED_TRACE(std::to_string(times) + " deadlock(s) at statement " +
                     std::to_string(ordinal) + ", in " + where);
        ServerCopy server;
        std::vector<std::chrono::milliseconds> waits;
        server.state.db.setDeadlockPause([&](auto wait) { waits.push_back(wait); });
        server.state.db.failStatementAsDeadlockVictim(ordinal, times);
        server.run();
        ASSERT_EQ(waits.size(), times == 1 ? 1u : 2u);
        for (const auto wait : waits) {  // tens to a few hundred milliseconds
            EXPECT_TRUE(wait.count() >= 20 && wait.count() <= 500) << wait.count();
        }
        EXPECT_EQ(server.count("SELECT COUNT(*) FROM AutomationServer_Log"), 1);
        EndState end = ref().end;
        std::size_t messages = referenceMessages;
        if (times == 1) {
            ASSERT_THAT(server.state.report.errors, testing::IsEmpty());
            const RunCounters& counted = server.state.counters;  // as the database holds them
            EXPECT_EQ(counted.emails(), ref().firstRun.emails());
            EXPECT_EQ(counted.issuesCreated(), ref().firstRun.issuesCreated());
            EXPECT_EQ(counted.issuesClosed(), ref().firstRun.issuesClosed());
        } else {
            ASSERT_EQ(server.state.report.errors.size(), 1u);
            EXPECT_THAT(server.state.report.errors.front(),
                        testing::AllOf(HasSubstr(where + ": the "),
                                       HasSubstr("victim of a deadlock with another program"),
                                       HasSubstr("on each of 3 tries")));
            ServerCopy expected;
            tasks::TaskList without = tasks::RuleCatalog();
            without.erase(without.begin() + static_cast<std::ptrdiff_t>(step));
            expected.run(without);
            expected.run();
            end = ReadEndState(expected);
            messages = expected.pickedUp().size();
        }
        server.run();
        ASSERT_THAT(server.state.report.errors, testing::IsEmpty());
        EXPECT_EQ(end.rows, ReadEndState(server).rows);
        const std::vector<test::ReceivedMessage> received = server.pickedUp();
        EXPECT_TRUE(AllDelivered(end.sent, received));
        EXPECT_EQ(received.size(), messages);  // none went out twice
    };
    deadlock(1, ref().steps.size(), 1);
    for (std::size_t i = 0; i < ref().steps.size(); ++i) {
        const StepSpan& step = ref().steps[i];
        deadlock(step.first + step.statements.size() / 2, i, 1);
        deadlock(step.first, i, 3);
    }
}

// The database undid the dry run's one transaction: the run ends at once, with one error.
TEST(DryRun, ADeadlockEndsItAtOnceAndSaysNothingWasChangedOrSent) {
    ServerCopy server;
    const std::string before = server.contents();
    server.state.options.dryRun = true;
    const StepSpan& step = TheReference().steps[TheReference().steps.size() / 2];
    server.state.db.setDeadlockPause([](auto) { ADD_FAILURE() << "a dry run's deadlock waited"; });
    server.state.db.failStatementAsDeadlockVictim(step.first + step.statements.size() / 2);
    server.run();
    ASSERT_EQ(server.state.report.errors.size(), 1u);
    EXPECT_THAT(server.state.report.errors.front(),
                HasSubstr(step.label + ": the database undid all of the dry run's work"));
    EXPECT_THAT(server.state.report.errors.front(),
                HasSubstr("nothing was changed and nothing sent"));
    EXPECT_THAT(tasks::ResultsLine(server.state, db::DateTime::nowLocal()),
                testing::AllOf(HasSubstr("Emails: 0  Issues Created: 0  Issues Closed: 0  (dry run "
                                         "undone by the database after a deadlock"),
                               HasSubstr("Errors: 1")));
    EXPECT_EQ(server.contents(), before);
    EXPECT_TRUE(server.pickedUp().empty());
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
