// What keeps mail flowing when a server refuses: digests larger than it takes go out in parts,
// and a recipient refused for good waits longer before each attempt instead of failing every
// run. Against a real SMTP server (aiosmtpd).
#include <gmock/gmock.h>

#include <regex>

#include "mail/DispatchOutbox.h"
#include "mail/Outbox.h"
#include "mail/SmtpConversation.h"
#include "tasks/ResultsLine.h"

namespace fas::mail {
namespace {

using namespace std::chrono_literals;
using test::SmtpTestServer;
using testing::HasSubstr;

// The lines of a log-in are credentials: a refused log-in is reported naming only AUTH. Which
// refusals hold a message back and which pass is the dispatch tests' (Delivery.*, Outbox.*).
TEST(SmtpConversation, ARefusedLogInNamesOnlyAuthNeverItsCredentials) {
    SmtpConversation conversation;
    for (const auto& [command, reply] : {std::pair{"AUTH LOGIN", "334 VXNlcm5hbWU6\r\n"},
                                         {"ZmxlZXQ=", "334 UGFzc3dvcmQ6\r\n"},
                                         {"cHctd3Jvbmc=", "535 5.7.8 bad credentials\r\n"}}) {
        conversation.commandSent(command);
        conversation.replyReceived(reply);
    }
    EXPECT_FALSE(conversation.messageRefused());
    EXPECT_EQ(conversation.lastExchange(),
              "the server answered AUTH with \"535 5.7.8 bad credentials\"");
}

struct Delivery : Outbox {
    DeliveryHolds::Clock::time_point now{};
    Delivery() {
        db.state.holds.now = [this] { return now; };
    }
    // A dispatch as the next run performs it.
    void dispatch() {
        db.state.report.clear();
        db.state.counters.reset();
        DispatchOutbox(db.state);
    }
};

TEST_F(Delivery, ADigestLargerThanTheServerTakesGoesOutInPartsOfWholeRowsEachRowOnce) {
    SmtpTestServer server({.rejectDataContaining = {"REFUSED-ROW"}, .sizeLimit = 6000});
    db.sendThrough(server);
    Strings rows;
    Ids ids;
    for (int i = 0; i < 40; ++i) {
        rows.push_back((i == 30 ? "REFUSED-ROW " : "Row ") + std::to_string(i) + " " +
                       std::string(400, static_cast<char>('a' + i % 26)));
        ids.push_back(queue("big@fleet.example", rows.back()));
    }
    queue("small@fleet.example", "one row");

    // The server's SIZE is learnt from its refusal of the whole digest; the part with row 30
    // is refused, and only its rows and those after it stay pending.
    dispatch();
    const Ids left = pending();
    ASSERT_FALSE(left.empty());
    EXPECT_GT(left.front(), ids.front());
    EXPECT_LE(left.front(), ids[30]);
    EXPECT_EQ(left, Ids(ids.end() - static_cast<std::ptrdiff_t>(left.size()), ids.end()));
    EXPECT_THAT(db.state.report.errors, testing::ElementsAre(HasSubstr("554 5.6.0")));

    db.exec("UPDATE AutomationServer_EmailsSent SET EmailBody=? WHERE ID=?", {"Row 30", ids[30]});
    rows[30] = "Row 30";
    now += 1h;
    dispatch();
    EXPECT_EQ(pending(), Ids{});
    EXPECT_TRUE(db.state.report.errors.empty());

    // Every part a whole digest of whole rows: together they hold each row once, in order.
    std::string received, expected;
    for (const auto& row : rows) {
        expected += row + "\r\n";
    }
    int parts = 0;
    for (const auto& m : server.messages()) {
        EXPECT_EQ(m.subject, "Notification from Northwind Fleet");
        const std::string ending = std::string("\r\n\r\n\r\n") + kFooter;
        ASSERT_TRUE(m.body.ends_with(ending)) << m.body;
        if (m.rcptTos.front() == "big@fleet.example") {
            ++parts;
            received += m.body.substr(0, m.body.size() - ending.size());
        }
    }
    EXPECT_EQ(received, expected);
    EXPECT_GE(parts, 3);  // 40 rows of about 430 bytes in messages of at most 6000
}

TEST_F(Delivery, ARecipientRefusedForGoodWaitsLongerEachTimeAPassingRefusalIsTriedEveryRun) {
    SmtpTestServer server(
        {.rejectRecipients = {"gone@fleet.example"}, .deferRecipients = {"busy@fleet.example"}});
    db.sendThrough(server);
    db.state.holds.firstWait = 1s;
    db.state.holds.longestWait = 4s;
    const Ids stuck = {queue("gone@fleet.example", "closed mailbox"),
                       queue("busy@fleet.example", "busy mailbox")};
    Strings goneAttempts;  // second of the run: the wait the error announces
    int busyAttempts = 0;
    for (int second = 0; second <= 12; ++second, now += 1s) {
        queue("ok@fleet.example", "run " + std::to_string(second));
        dispatch();
        const std::size_t attemptsBefore = goneAttempts.size();
        for (const auto& error : db.state.report.errors) {
            std::smatch wait;
            if (std::regex_search(error, wait, std::regex("gone@.*tried again in (\\d+ s)"))) {
                goneAttempts.push_back(std::to_string(second) + ": " + wait[1].str());
            }
            busyAttempts += error.find("450 4.2.1") != std::string::npos ? 1 : 0;
        }
        // Nothing else is reported: a skipped attempt raises no error.
        EXPECT_EQ(db.state.report.errors.size(), 1 + goneAttempts.size() - attemptsBefore);
        EXPECT_EQ(db.state.counters.emails(), 1);
        EXPECT_EQ(db.state.report.heldMessages, 1);
    }
    EXPECT_EQ(goneAttempts, (Strings{"0: 1 s", "1: 2 s", "3: 4 s", "7: 4 s", "11: 4 s"}));
    EXPECT_EQ(busyAttempts, 13);
    EXPECT_EQ(server.messagesAccepted(), 13);
    EXPECT_EQ(pending(), stuck);
    EXPECT_THAT(tasks::ResultsLine(db.state, db::DateTime::nowLocal()),
                testing::MatchesRegex(".*Issues Closed: 0  Emails Held Back: 1  Errors: 1 .*"));

    // Accepted once its wait is over.
    SmtpTestServer healed;
    db.sendThrough(healed);
    now += 3s;  // second 16: the wait announced at second 11 is over
    dispatch();
    EXPECT_EQ(pending(), Ids{});
    EXPECT_EQ(healed.messagesAccepted(), 2);
}

}  // namespace
}  // namespace fas::mail
