// A task run cut off by a lost database connection at any point of the catalog, or by the mail
// server going away in the middle of a dispatch, and then clean runs: the database ends as it
// would have without the fault (no notification lost or recorded twice, no issue raised twice, no
// outbox row lost) and every notification reaches its recipients at least once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "support/SmtpTestServer.h"
#include "tasks/CatalogTable.h"
#include "tasks/RuleCatalog.h"
#include "trust/faultsFixtures.h"

namespace fas::trust {
namespace {

using testing::HasSubstr;

constexpr std::string_view kQueueNotification = "INSERT INTO AutomationServer_EmailsSent";
constexpr std::string_view kRecordNotification = "INSERT INTO AutomationServer_Emails ";
constexpr std::string_view kMarkSent = "UPDATE AutomationServer_EmailsSent SET EmailSent=1";

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Generated once: the template every case copies, and two clean runs of it as the reference.
// The issue-due rule sees the issues raised after it in the next run only, so two runs are what a
// database needs to settle; a faulted case gets its faulted run and then two clean runs.
struct Reference {
    DemoTemplate demo;
    ServerCopy server{demo.file()};
    std::vector<StepSpan> steps;
    std::vector<std::string> runErrors;
    EndState end;
    std::size_t messages = 0;

    Reference() {
        testing::internal::CaptureStderr();
        steps = RunAndMeasureSteps(server);
        runErrors = server.state.report.errors;
        server.run();
        testing::internal::GetCapturedStderr();
        runErrors.insert(runErrors.end(), server.state.report.errors.begin(),
                         server.state.report.errors.end());
        end = ReadEndState(server);
        messages = server.pickupFiles().size();
    }
};

class LostConnection : public testing::Test {
  protected:
    static void SetUpTestSuite() { reference_ = std::make_unique<Reference>(); }
    static void TearDownTestSuite() { reference_.reset(); }
    static const Reference& reference() { return *reference_; }

    // Fails the run's statement `ordinal` as a lost connection, then runs twice cleanly and
    // compares with the reference.
    static void faultThenRecover(std::uint64_t ordinal, const std::string& where) {
        SCOPED_TRACE("statement " + std::to_string(ordinal) + " of the run, in " + where);
        ServerCopy server(reference().demo.file());
        server.state.db.failStatementAsLostConnection(ordinal);
        testing::internal::CaptureStderr();
        server.run();
        const std::string err = testing::internal::GetCapturedStderr();

        // The fault hit where it was aimed and ended the run there, without a log row.
        const auto& errors = server.state.report.errors;
        ASSERT_EQ(errors.size(), 1U) << err;
        EXPECT_THAT(errors.front(), HasSubstr(where + ":"));
        EXPECT_THAT(errors.front(), HasSubstr("(the run ended here)"));
        EXPECT_THAT(err, HasSubstr("simulated"));
        EXPECT_FALSE(server.state.db.isOpen());
        EXPECT_EQ(server.count("SELECT COUNT(*) FROM AutomationServer_Log"), 0);

        for (int run = 0; run < 2; ++run) {
            server.run();
            EXPECT_TRUE(server.state.report.errors.empty()) << server.state.report.errors.front();
        }
        EXPECT_EQ(server.count("SELECT COUNT(*) FROM AutomationServer_Log"), 2);
        EXPECT_TRUE(SameEndState(reference().end, ReadEndState(server)));
        EXPECT_TRUE(AllDelivered(reference().end.sent, server.pickedUp()));
    }

  private:
    static std::unique_ptr<Reference> reference_;
};

std::unique_ptr<Reference> LostConnection::reference_;

TEST_F(LostConnection, TheReferenceRunsAreCleanAndDoWorkInEveryPartOfTheCatalog) {
    EXPECT_THAT(reference().runErrors, testing::IsEmpty());
    ASSERT_EQ(reference().steps.size(), tasks::kCatalogSize);
    // The cases below mean something only where the steps had rows to work on.
    std::size_t writing = 0;
    for (const StepSpan& step : reference().steps) {
        EXPECT_FALSE(step.statements.empty()) << step.label;
        writing += std::any_of(step.statements.begin(), step.statements.end(),
                               [](const std::string& sql) {
                                   return startsWith(sql, "INSERT") || startsWith(sql, "UPDATE");
                               })
                       ? 1U
                       : 0U;
    }
    EXPECT_GE(writing, 20U);
    EXPECT_GT(reference().end.sent.size(), 10U);
    EXPECT_TRUE(reference().end.pending.empty());
    EXPECT_GT(reference().messages, 0U);

    // The cases read the picked-up messages themselves; they agree with a real mail parser.
    const auto files = reference().server.pickupFiles();
    const auto parsed = test::SmtpTestServer::parseMessageFiles(files);
    const auto read = reference().server.pickedUp();
    ASSERT_EQ(read.size(), parsed.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].to, parsed[i].to) << files[i];
        EXPECT_EQ(read[i].body, parsed[i].body) << files[i];
        EXPECT_EQ(parsed[i].defects, "") << files[i];
    }
    EXPECT_TRUE(AllDelivered(reference().end.sent, read));
}

TEST_F(LostConnection, TwoCleanRunsSettleTheDatabase) {
    // What the fault cases rely on: a third clean run finds nothing left to do.
    ServerCopy server(reference().demo.file());
    server.run();
    server.run();
    const EndState settled = ReadEndState(server);
    EXPECT_TRUE(SameEndState(reference().end, settled));
    const std::size_t delivered = server.pickupFiles().size();
    server.run();
    EXPECT_TRUE(server.state.report.errors.empty());
    EXPECT_EQ(server.state.counters.issuesCreated(), 0);
    EXPECT_EQ(server.state.counters.issuesClosed(), 0);
    EXPECT_EQ(server.state.report.notificationsQueued, 0);
    EXPECT_EQ(server.pickupFiles().size(), delivered);
    EXPECT_TRUE(SameEndState(settled, ReadEndState(server)));
}

TEST_F(LostConnection, WhileLiftingDueMutes) {
    faultThenRecover(1, "Lifting due notification mutes");
}

// Whether the step's statement `i` would find a notified row half done: some of its e-mails
// queued (with the recipient lookups between them), its notification not yet recorded.
bool insideHalfDoneRow(const StepSpan& step, std::size_t i) {
    while (i-- > 0) {
        if (startsWith(step.statements[i], kRecordNotification)) {
            return false;
        }
        if (startsWith(step.statements[i], kQueueNotification)) {
            return true;
        }
    }
    return false;
}

// Each catalog step loses the connection at its first statement and, when it issues several, at
// the one in its middle (the window inside a notified row has a test of its own below).
class LostConnectionInStep : public LostConnection,
                             public testing::WithParamInterface<std::size_t> {};

TEST_P(LostConnectionInStep, ThenCleanRunsEndAsIfNothingHadHappened) {
    const StepSpan& step = reference().steps.at(GetParam());
    faultThenRecover(step.first, step.label);
    const std::size_t middle = step.statements.size() / 2;
    if (middle > 0 && middle < step.statements.size()) {
        faultThenRecover(step.first + middle, step.label);
    }
}

INSTANTIATE_TEST_SUITE_P(EachCatalogStep, LostConnectionInStep,
                         testing::Range<std::size_t>(0, tasks::kCatalogSize),
                         [](const testing::TestParamInfo<std::size_t>& param) {
                             return "step" +
                                    std::to_string(tasks::CatalogTable()[param.param].step);
                         });

TEST_F(LostConnection, BetweenQueuingARowsEmailsAndRecordingItsNotification) {
    // A notified row's outbox rows and its notification record are one unit. Lost between
    // them, none of them stays, and the next run notifies the row exactly once.
    std::size_t beforeRecord = 0;
    std::size_t betweenRecipients = 0;  // a recipient lookup or the next recipient's e-mail
    for (const StepSpan& step : reference().steps) {
        for (std::size_t i = 1; i < step.statements.size(); ++i) {
            if (!insideHalfDoneRow(step, i)) {
                continue;
            }
            std::size_t& seen = startsWith(step.statements[i], kRecordNotification)
                                    ? beforeRecord
                                    : betweenRecipients;
            if (seen++ == 0) {
                faultThenRecover(step.first + i, step.label);
            }
        }
    }
    EXPECT_GT(beforeRecord, 0U);
    EXPECT_GT(betweenRecipients, 0U) << "no row of the reference was queued for two recipients";
}

TEST_F(LostConnection, AfterAMessageWentOutBeforeItsRowsAreMarkedSent) {
    const StepSpan& dispatch = reference().steps.back();
    std::size_t marks = 0;
    for (std::size_t i = 0; i < dispatch.statements.size(); ++i) {
        if (startsWith(dispatch.statements[i], kMarkSent) && ++marks == 3) {
            faultThenRecover(dispatch.first + i, dispatch.label);
        }
    }
    ASSERT_GE(marks, 3U);
}

// The mail server goes away in the middle of a dispatch.
class MailServerAway : public LostConnection {};

TEST_F(MailServerAway, StoppedAfterSomeMessagesTheRestGoesOutWithTheNextRun) {
    ServerCopy server(reference().demo.file());
    auto first = std::make_unique<test::SmtpTestServer>();
    server.sendThrough(*first);
    // Stopped right after it accepted its third message, before the rows of that message are
    // marked sent.
    int marks = 0;
    server.state.db.setStatementObserver([&](std::string_view sql, const db::Params&) {
        if (startsWith(sql, kMarkSent) && ++marks == 3) {
            first->stop();
        }
    });
    testing::internal::CaptureStderr();
    server.run();
    const std::string err = testing::internal::GetCapturedStderr();
    server.state.db.setStatementObserver(nullptr);
    ASSERT_EQ(marks, 3) << err;
    ASSERT_EQ(server.state.report.errors.size(), 1U) << err;
    EXPECT_THAT(server.state.report.errors.front(), HasSubstr("stay pending for the next run"));
    EXPECT_GT(server.count("SELECT COUNT(*) FROM AutomationServer_EmailsSent WHERE EmailSent=0 "
                           "AND EmailTo<>''"),
              0);
    const std::vector<test::ReceivedMessage> before = first->messages();
    EXPECT_EQ(before.size(), 3U);

    test::SmtpTestServer second;
    server.sendThrough(second);
    server.run();
    EXPECT_THAT(server.state.report.errors, testing::IsEmpty());
    server.run();
    EXPECT_THAT(server.state.report.errors, testing::IsEmpty());

    EXPECT_TRUE(SameEndState(reference().end, ReadEndState(server)));
    std::vector<test::ReceivedMessage> all = before;
    for (auto& m : second.messages()) {
        all.push_back(std::move(m));
    }
    EXPECT_TRUE(AllDelivered(reference().end.sent, all));
}

TEST_F(MailServerAway, ClosingTheConnectionAfterEachFewMessagesLosesNothing) {
    ServerCopy server(reference().demo.file());
    test::SmtpServerOptions options;
    options.maxMessagesPerConnection = 2;
    test::SmtpTestServer smtp(options);
    server.sendThrough(smtp);
    server.run();
    EXPECT_THAT(server.state.report.errors, testing::IsEmpty());
    server.run();
    EXPECT_THAT(server.state.report.errors, testing::IsEmpty());

    const std::vector<test::ReceivedMessage> received = smtp.messages();
    EXPECT_GT(smtp.connections(), 2);
    EXPECT_EQ(received.size(), reference().messages);
    EXPECT_TRUE(SameEndState(reference().end, ReadEndState(server)));
    EXPECT_TRUE(AllDelivered(reference().end.sent, received));
}

}  // namespace
}  // namespace fas::trust
