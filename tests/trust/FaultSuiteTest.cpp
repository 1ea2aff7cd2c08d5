// A task run cut off by a lost database connection at any point of the catalog, or by the mail
// server going away in the middle of a dispatch, then clean runs: the database ends as it would
// have without the fault (nothing lost, nothing recorded or raised twice) and every notification
// reaches its recipients at least once.
//
// The runs compare the content task runs leave behind, without the identity values and times
// that differ from one run to the next.

#include <gmock/gmock.h>

#include <algorithm>
#include <regex>
#include <set>

#include "support/Site.h"
#include "tasks/RuleCatalog.h"

namespace fas::trust {
namespace {

// A copy of the demo database as start-up leaves it.
struct ServerCopy : test::Site {
    ServerCopy() : Site(test::DemoTemplate()) {}
};

std::set<std::string> addressesIn(const std::string& text) {
    static const std::regex address(R"([^\s,;<>"]+@[^\s,;<>"]+)");
    return {std::sregex_token_iterator(text.begin(), text.end(), address),
            std::sregex_token_iterator()};
}

// Issues, notification records, outbox rows and contract mutes as sorted text rows, and the rows
// sent (addressees, body).
struct EndState {
    std::string rows;
    std::vector<std::pair<std::string, std::string>> sent;
};
EndState ReadEndState(ServerCopy& server) {
    // A row still pending although it has recipients differs from one delivered.
    const std::string contents = server.contents(
        {"SELECT 'Issues',ContractID,Category,ItemID,ItemDesc,IssueDate,DueDate,Description,Status,"
         "Priority,EnteredBy,EditedBy,AUTO_Item,Auto_Date FROM Issues",
         "SELECT 'Emails',Category,Item,ItemID,ItemKey,ContractManager,ContractSpecialist,Client "
         "FROM AutomationServer_Emails",
         "SELECT EmailFrom,EmailFromName,EmailTo,EmailSubject,EmailBody,CASE WHEN EmailSent<>0 OR "
         "ISNULL(EmailTo,'')='' THEN 'done' ELSE 'pending' END FROM AutomationServer_EmailsSent",
         "SELECT ID,DisableEmailNotifications,EnableNotificationsAtTime FROM ServiceContract"});
    EndState s{test::SortedLines(std::regex_replace(
                   contents, std::regex(R"(\(AUTO CLOSED [^)]*\))"), "(AUTO CLOSED)")),
               {}};
    for (auto rs = server.read("SELECT EmailTo,EmailBody FROM AutomationServer_EmailsSent WHERE "
                               "EmailSent<>0");
         !rs.eof(); rs.moveNext()) {
        s.sent.emplace_back(rs.joined("EmailTo"), rs.joined("EmailBody"));
    }
    return s;
}

// Each sent row reached its recipients at least once: a message to the same addresses carries
// its body.
testing::AssertionResult AllDelivered(const EndState& end,
                                      const std::vector<test::ReceivedMessage>& messages) {
    for (const auto& [to, body] : end.sent) {
        if (std::none_of(messages.begin(), messages.end(), [&](const auto& m) {
                return addressesIn(m.to) == addressesIn(to) &&
                       m.body.find(body) != std::string::npos;
            })) {
            return testing::AssertionFailure() << "never delivered to '" << to << "': " << body;
        }
    }
    return testing::AssertionSuccess();
}

// What every fault walk ends with: `runs` runs after the faulted one, none with an error, leave
// the database as `expected`, every notification delivered among `received()` (by default the
// pickup folder's messages).
void ExpectCleanRunsEndAs(
    ServerCopy& server, int runs, const EndState& expected,
    const std::function<std::vector<test::ReceivedMessage>()>& received = {}) {
    for (int run = 1; run <= runs; ++run) {
        server.run();
        EXPECT_THAT(server.state.report.errors, testing::IsEmpty()) << "clean run " << run;
    }
    EXPECT_EQ(expected.rows, ReadEndState(server).rows);
    EXPECT_TRUE(AllDelivered(expected, received ? received() : server.pickedUp()));
}

// The statements each catalog step issued in one run of the real catalog.
struct StepSpan {
    std::string label;
    std::uint64_t first = 0;  // ordinal of its first statement in the run, from 1
    std::vector<std::string> statements;
};
std::vector<StepSpan> RunAndMeasureSteps(ServerCopy& server) {
    const tasks::TaskList& catalog = tasks::RuleCatalog();
    std::vector<StepSpan> spans(catalog.size());
    std::size_t current = catalog.size();  // none: outside the steps
    const std::uint64_t base = server.state.db.statementsIssued();
    tasks::TaskList wrapped;
    for (std::size_t i = 0; i < catalog.size(); ++i) {
        spans[i].label = catalog[i].label;
        wrapped.push_back({catalog[i].label, [&, i](ServerState& state) {
                               current = i;
                               spans[i].first = state.db.statementsIssued() - base + 1;
                               catalog[i].run(state);
                               current = catalog.size();
                           }});
    }
    server.state.db.setStatementObserver([&](std::string_view sql, const db::Params&) {
        if (current < spans.size()) {
            spans[current].statements.emplace_back(sql);
        }
    });
    server.run(wrapped);
    server.state.db.setStatementObserver(nullptr);
    return spans;
}

// Two clean runs of the demo, made once per test program: the issue-due rule sees the issues
// raised after it only in the next run, so two runs settle a database.
struct Reference {
    ServerCopy server;
    std::vector<StepSpan> steps = RunAndMeasureSteps(server);
    std::vector<std::string> errors = server.state.report.errors;  // of both runs
    EndState end;                                                  // after the second
};
const Reference& ref() {
    static Reference* reference = [] {
        auto* r = new Reference;  // never torn down: the suites read it to the end
        r->server.run();
        r->errors.insert(r->errors.end(), r->server.state.report.errors.begin(),
                         r->server.state.report.errors.end());
        r->end = ReadEndState(r->server);
        return r;
    }();
    return *reference;
}

using testing::AllOf;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

constexpr std::string_view kQueue = "INSERT INTO AutomationServer_EmailsSent";
constexpr std::string_view kRecord = "INSERT INTO AutomationServer_Emails ";
constexpr std::string_view kMarkSent = "UPDATE AutomationServer_EmailsSent SET EmailSent=1";

// The connection lost at the run's `ordinal`th statement, inside `where`: the run ends there with
// one error naming it and no log row; two clean runs complete it.
void lostAt(std::uint64_t ordinal, const std::string& where) {
    SCOPED_TRACE("statement " + std::to_string(ordinal) + " of the run, in " + where);
    ServerCopy server;
    server.state.db.failStatementAsLostConnection(ordinal);
    server.run();
    EXPECT_THAT(server.state.report.errors,
                ElementsAre(AllOf(HasSubstr(where + ": "), HasSubstr("(the run ended here)"))));
    EXPECT_EQ(server.count("SELECT COUNT(*) FROM AutomationServer_Log"), 0);
    ExpectCleanRunsEndAs(server, 2, ref().end);
}

// A notified row's e-mails and its notification record are one unit; a message that went out
// before its rows were marked sent goes out again rather than never.
TEST(LostConnection, InsideANotifiedRowAndBeforeMarkingSent) {
    bool beforeRecord = false, betweenRecipients = false;
    for (const StepSpan& step : ref().steps) {
        bool queued = false;
        for (std::size_t i = 0; i < step.statements.size(); ++i) {
            const std::string& sql = step.statements[i];
            const bool record = sql.starts_with(kRecord);
            if (queued && !(record ? beforeRecord : betweenRecipients)) {
                (record ? beforeRecord : betweenRecipients) = true;
                lostAt(step.first + i, step.label);
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
    lostAt(dispatch.first + static_cast<std::uint64_t>(third - dispatch.statements.begin()),
           dispatch.label);
}

// Statement `ordinal` of the run, in `where`, chosen as a deadlock victim once: retried after a
// pause (the statement, or the unit it was part of, whole), the run ends as if nothing had
// happened and no message goes out twice.
void deadlockAt(std::uint64_t ordinal, const std::string& where) {
    SCOPED_TRACE("deadlock at statement " + std::to_string(ordinal) + ", in " + where);
    ServerCopy server;
    int waits = 0;
    server.state.db.setDeadlockPause([&](auto) { ++waits; });
    server.state.db.failStatementAsDeadlockVictim(ordinal);
    server.run();
    EXPECT_EQ(waits, 1);
    EXPECT_THAT(server.state.report.errors, IsEmpty());
    EXPECT_EQ(server.count("SELECT COUNT(*) FROM AutomationServer_Log"), 1);
    ExpectCleanRunsEndAs(server, 1, ref().end);
    static const std::size_t referenceMessages = ref().server.pickedUp().size();
    EXPECT_EQ(server.pickedUp().size(), referenceMessages);
}

// Each step loses the connection at its first statement and at the one in its middle, and has
// the one in its middle chosen as a deadlock victim; the mute lift before the steps likewise at the
// run's first. The reference is clean and delivers its mail.
TEST(LostConnection, OrADeadlockAtEveryStepThenCleanRunsEndAsIfNothingHadHappened) {
    ASSERT_THAT(ref().errors, IsEmpty());
    ASSERT_GT(ref().end.sent.size(), 10u);
    EXPECT_TRUE(AllDelivered(ref().end, ref().server.pickedUp()));
    lostAt(1, "Lifting due notification mutes");
    deadlockAt(1, "Lifting due notification mutes");
    for (std::size_t i = 0; i < ref().steps.size(); ++i) {
        const StepSpan& step = ref().steps[i];
        const std::uint64_t middle = step.first + step.statements.size() / 2;
        lostAt(step.first, step.label);
        if (middle != step.first) {
            lostAt(middle, step.label);
        }
        deadlockAt(middle, step.label);
    }
}

// The mail server gone after accepting a message not yet marked sent: the rest stays pending, the
// next runs send it (that message again rather than never).
TEST(LostConnection, AMailServerThatGoesAwayMidDispatchLosesNothing) {
    ServerCopy server;
    test::SmtpTestServer first;
    server.sendThrough(first);
    int marks = 0;  // stopped right after it accepted its third message, before that is marked
    server.state.db.setStatementObserver([&](std::string_view sql, const db::Params&) {
        if (sql.starts_with(kMarkSent) && ++marks == 3) {
            first.stop();
        }
    });
    server.run();
    server.state.db.setStatementObserver(nullptr);
    EXPECT_THAT(server.state.report.errors,
                ElementsAre(HasSubstr("stay pending for the next run")));
    std::vector<test::ReceivedMessage> all = first.messages();
    EXPECT_EQ(all.size(), 3u);
    test::SmtpTestServer second;
    server.sendThrough(second);
    ExpectCleanRunsEndAs(server, 2, ref().end, [&] {
        for (auto& m : second.messages()) {
            all.push_back(std::move(m));
        }
        return all;
    });
}

// A stop (SIGTERM under systemd) lands at a checkpoint: between steps, between the rows of a walk,
// between messages. What the run did before it is whole and logged; the next runs complete it.
TEST(StopRequest, AtAnyCheckpointKeepsEveryRowWholeLogsTheRunAndTheNextRunsCompleteIt) {
    ServerCopy counting;
    int checkpoints = 0;
    counting.state.control.setHeartbeat([&] { ++checkpoints; }, {});
    counting.run();
    ASSERT_GT(checkpoints, 100);
    for (const int at : {checkpoints / 10, checkpoints / 2, checkpoints - 3}) {
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
        EXPECT_THAT(server.state.report.errors, IsEmpty());
        const RunCounters& c = server.state.counters;
        EXPECT_EQ(server.count("SELECT COUNT(*) FROM AutomationServer_Log WHERE CountEmails=? AND "
                               "CountIssues=? AND CountIssuesClose=?",
                               {c.loggedEmails(), c.loggedIssuesCreated(), c.loggedIssuesClosed()}),
                  1);
        server.state.control.clearHeartbeat();
        server.state.control.stopRequested = false;
        ExpectCleanRunsEndAs(server, 2, ref().end);
    }
}

}  // namespace
}  // namespace fas::trust
