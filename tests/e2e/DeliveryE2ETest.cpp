// The operator's mail tools through the real binary: --test-mail, the message size limit and the
// outbox rows --check finds waiting.

#include "e2e/Site.h"

namespace fas::test {
namespace {

using testing::HasSubstr;

class Delivery : public ::testing::Test, public Site {
  protected:
    Delivery() : Site(DemoTemplate()) {
        // The file itself then holds every change: compared byte for byte.
        RunProcess({"/usr/bin/sqlite3", {file().string(), "PRAGMA journal_mode=DELETE"}, {}, {}});
        sendThrough(smtp);
    }
    std::int64_t queue(const std::string& to, const std::string& body, const db::Value& sent) {
        return addRow(*this, "AutomationServer_EmailsSent",
                      {{"EmailFrom", "alerts@ferrow-demo.test"},
                       {"EmailFromName", "Ferrow Fleet Compliance"},
                       {"EmailTo", to},
                       {"EmailBody", body},
                       {"EmailSent", sent.isNull() ? 0 : 1},
                       {"DateSent", sent}});
    }
    SmtpTestServer smtp{{.authUser = "fleet",
                         .authPassword = "pw-right",
                         .rejectRecipients = {"gone@client.test"}}};
};

TEST_F(Delivery, TestMailSaysWhetherTheServerAcceptedItAndWritesNothing) {
    struct Case {
        std::string password, address;
        int status;
        std::string said;
    };
    for (const auto& c : {
             Case{"pw-right", "ops@client.test", 0,
                  "(\"Test message from Ferrow Fleet Compliance\") accepted by the mail server"},
             Case{"pw-wrong", "ops@client.test", 1,
                  "not sent: Cannot deliver through the mail server 127.0.0.1:" +
                      std::to_string(smtp.port()) + " (plain SMTP, user 'fleet'): Login denied"},
         }) {
        exec("UPDATE Company SET AutomationServerEmailUser='fleet',AutomationServerEmailPassword=?",
             {c.password});
        const std::string before = ReadWholeFile(file());
        const auto result = serve(*this, {"--test-mail", c.address});
        EXPECT_EQ(result.exitStatus, c.status) << result.out << result.err;
        EXPECT_THAT(result.out + result.err, HasSubstr(c.said));
        EXPECT_THAT(result.out + result.err, testing::Not(HasSubstr(c.password)));
        EXPECT_TRUE(ReadWholeFile(file()) == before) << "the database file changed";
    }
    const auto received = smtp.messages();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].rcptTos, std::vector<std::string>{"ops@client.test"});
    EXPECT_EQ(received[0].authUser, "fleet");
}

TEST_F(Delivery, AMalformedSizeLimitIsRefusedAndCheckListsRowsWaitingForMoreThanADay) {
    exec("UPDATE Company SET AutomationServerEmailUser='fleet',AutomationServerEmailPassword=?",
         {"pw-right"});
    const auto twoDaysAgo = db::DateTime::nowLocal().addDays(-2);
    const auto waiting = queue("gone@client.test", "refused for days", {});
    queue("ops@client.test", "sent two days ago", twoDaysAgo);
    queue("ops@client.test", "sent now", db::DateTime::nowLocal());
    queue("fresh@client.test", "queued now", {});
    const auto check = serve(*this, {"--check"});
    EXPECT_THAT(check.out, HasSubstr("warning  outbox: 1 row(s) to 'gone@client.test' pending for "
                                     "more than a day, the oldest (ID " +
                                     std::to_string(waiting) + ") since " +
                                     db::dateText(twoDaysAgo) + " or earlier\n"));
    EXPECT_THAT(check.out, testing::Not(HasSubstr("fresh@")));

    for (const char* bad : {"ten", "999", "1e6"}) {
        const auto refused =
            serve(*this, {"--once"}, {{"AUTOMATION_SERVER_MAX_MESSAGE_BYTES", bad}});
        EXPECT_EQ(refused.exitStatus, 2);
        EXPECT_THAT(refused.err, HasSubstr("AUTOMATION_SERVER_MAX_MESSAGE_BYTES"));
    }
}

}  // namespace
}  // namespace fas::test
