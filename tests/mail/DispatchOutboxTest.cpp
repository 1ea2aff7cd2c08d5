// The outbox dispatcher against a real SMTP server and a fresh schema database: digests per
// recipient text, the exact message, marking, counting, and what stays pending when the server
// refuses a message or cannot be used.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "mail/DispatchOutbox.h"
#include "support/SmtpTestServer.h"
#include "support/TestDatabase.h"

namespace fas::mail {
namespace {

using test::SmtpServerOptions;
using test::SmtpTestServer;

constexpr const char* kFrom = "alerts@fleet.example";
constexpr const char* kFooter = "Northwind Fleet Compliance\r\nDo not reply to this message.";

class DispatchOutboxTest : public ::testing::Test {
  protected:
    DispatchOutboxTest() {
        auto& company = state().company;
        company.Name = "Northwind Fleet";
        company.AutomationServerEmailFooter = kFooter;
        company.AutomationServerEmailServer = "127.0.0.1";
        company.AutomationServerEmailServerPort = "1";  // set by useServer
    }

    ServerState& state() { return db_.state; }
    test::OpenState& db() { return db_; }

    void useServer(const SmtpTestServer& server) {
        state().company.AutomationServerEmailServer = server.host();
        state().company.AutomationServerEmailServerPort = std::to_string(server.port());
    }

    // Queues an outbox row as the rule processors do; id 0 lets the database choose.
    std::int64_t queue(const std::string& to, const db::Value& body, std::int64_t id = 0,
                       int sent = 0) {
        db_.exec(
            "INSERT INTO AutomationServer_EmailsSent (ID,EmailFrom,EmailFromName,EmailTo,"
            "EmailSubject,EmailBody,EmailSent) VALUES (?,?,?,?,?,?,?)",
            {id == 0 ? db::Value() : db::Value(id), kFrom, "Northwind Fleet", to, "ignored subject",
             body, sent});
        return db_.count("SELECT MAX(ID) FROM AutomationServer_EmailsSent");
    }

    // The IDs still pending, in ID order.
    std::vector<std::int64_t> pending() {
        std::vector<std::int64_t> ids;
        auto rs = db_.db().query(
            "SELECT ID FROM AutomationServer_EmailsSent WHERE EmailSent=0 ORDER BY ID");
        for (; !rs.eof(); rs.moveNext()) {
            ids.push_back(rs.int64("ID"));
        }
        return ids;
    }

    static std::string digest(const std::vector<std::string>& bodies) {
        std::string text;
        for (const auto& body : bodies) {
            text += body + "\r\n";
        }
        return text + "\r\n\r\n\r\n" + kFooter;
    }

  private:
    test::OpenState db_;
};

using Ids = std::vector<std::int64_t>;

TEST_F(DispatchOutboxTest, OneDigestPerRecipientTextInOrderWithExactBytes) {
    SmtpTestServer server;
    useServer(server);
    // Rows 5 and 9 for R1 and 7 for R2: R1 sorts first, its rows in ID order.
    queue("r2@fleet.example", "Vehicle 12 inspection due 3/15/2027", 7);
    queue("r1@fleet.example", "Driver Ann M\xC3\xBCller: licence expires 4/1/2027", 5);
    queue("r1@fleet.example", ".Medical card = expired", 9);
    const auto before = db::DateTime::nowLocal();

    DispatchOutbox(state());

    const auto received = server.messages();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].rcptTos, std::vector<std::string>{"r1@fleet.example"});
    EXPECT_EQ(received[0].body, digest({"Driver Ann M\xC3\xBCller: licence expires 4/1/2027",
                                        ".Medical card = expired"}));
    EXPECT_EQ(received[1].rcptTos, std::vector<std::string>{"r2@fleet.example"});
    EXPECT_EQ(received[1].body, digest({"Vehicle 12 inspection due 3/15/2027"}));
    for (const auto& m : received) {
        EXPECT_EQ(m.subject, "Notification from Northwind Fleet");
        EXPECT_EQ(m.from, "Northwind Fleet <alerts@fleet.example>");
        EXPECT_EQ(m.mailFrom, kFrom);
        EXPECT_EQ(m.defects, "");
        EXPECT_EQ(m.connection, 1);  // both over one connection
    }
    EXPECT_EQ(server.connections(), 1);
    EXPECT_EQ(state().counters.emails(), 2);
    EXPECT_TRUE(state().report.errors.empty());
    EXPECT_EQ(pending(), Ids{});
    auto marked = db().db().query("SELECT DateSent FROM AutomationServer_EmailsSent");
    for (; !marked.eof(); marked.moveNext()) {
        const auto sent = marked.dateTime("DateSent");
        EXPECT_GE(sent, before.addSeconds(-1));
        EXPECT_LE(sent, db::DateTime::nowLocal().addSeconds(1));
    }
}

TEST_F(DispatchOutboxTest, GroupsByExactTextAndJoinsBodiesAsWritten) {
    SmtpTestServer server;
    useServer(server);
    // Letter case differs: each change of text starts a new message, even interleaved.
    queue("ann@fleet.example", "a1");
    queue("Ann@fleet.example", "A2");
    queue("ann@fleet.example", "a3");
    // One recipient text naming two addresses: one message to both.
    queue("bob@fleet.example;cy@fleet.example", "both");
    // A Null body adds only its line break.
    queue("dee@fleet.example", "first");
    queue("dee@fleet.example", db::Value());
    queue("dee@fleet.example", "third");
    // Already sent: never again.
    queue("eve@fleet.example", "old news", 0, 1);

    DispatchOutbox(state());

    auto received = server.messages();
    ASSERT_EQ(received.size(), 5u);
    std::vector<std::pair<std::string, std::string>> got;
    for (const auto& m : received) {
        std::string to;
        for (const auto& r : m.rcptTos) {
            to += (to.empty() ? "" : ",") + r;
        }
        got.emplace_back(to, m.body);
    }
    std::sort(got.begin(), got.end());
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Ann@fleet.example", digest({"A2"})},
        {"ann@fleet.example", digest({"a1"})},
        {"ann@fleet.example", digest({"a3"})},
        {"bob@fleet.example,cy@fleet.example", digest({"both"})},
        {"dee@fleet.example", "first\r\n\r\nthird\r\n\r\n\r\n\r\n" + std::string(kFooter)},
    };
    EXPECT_EQ(got, expected);
    EXPECT_EQ(state().counters.emails(), 5);
    EXPECT_EQ(pending(), Ids{});
}

TEST_F(DispatchOutboxTest, EmptyOutboxSendsAndUpdatesNothingWhateverTheSettings) {
    queue("eve@fleet.example", "old news", 0, 1);
    queue("", "no recipient");
    state().company.AutomationServerEmailServerPort = "not a port";
    std::vector<std::string> statements;
    db().db().setStatementObserver(
        [&](std::string_view sql, const db::Params&) { statements.emplace_back(sql); });

    DispatchOutbox(state());

    ASSERT_EQ(statements.size(), 1u);
    EXPECT_TRUE(statements[0].starts_with("SELECT")) << statements[0];
    EXPECT_EQ(state().counters.emails(), 0);
    EXPECT_TRUE(state().report.errors.empty());
}

TEST_F(DispatchOutboxTest, RefusedMessageStaysPendingWhileTheNextIsDelivered) {
    SmtpTestServer server(
        SmtpServerOptions().rejecting("gone@fleet.example").rejecting("left@fleet.example"));
    useServer(server);
    queue("a@fleet.example", "to a");
    const auto gone1 = queue("gone@fleet.example", "lost 1");
    const auto gone2 = queue("gone@fleet.example", "lost 2");
    queue("left@fleet.example;z@fleet.example", "to z");
    // A row without a sender name cannot be sent; it holds back nobody either.
    db().exec(
        "INSERT INTO AutomationServer_EmailsSent (EmailFrom,EmailFromName,EmailTo,EmailBody,"
        "EmailSent) VALUES (?,NULL,'nul@fleet.example','no name',0)",
        {kFrom});
    const auto noName = db().count("SELECT MAX(ID) FROM AutomationServer_EmailsSent");
    queue("z@fleet.example", "to z alone");

    DispatchOutbox(state());

    EXPECT_EQ(pending(), (Ids{gone1, gone2, noName}));
    EXPECT_EQ(state().counters.emails(), 3);
    const auto received = server.messages();
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].rcptTos, std::vector<std::string>{"a@fleet.example"});
    EXPECT_EQ(received[1].rcptTos, std::vector<std::string>{"z@fleet.example"});
    EXPECT_EQ(received[2].body, digest({"to z alone"}));
    // One error for each message not sent, naming its rows; one for the refused recipient.
    const auto& errors = state().report.errors;
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_NE(errors[0].find(std::to_string(gone1) + "," + std::to_string(gone2)),
              std::string::npos)
        << errors[0];
    EXPECT_NE(errors[0].find("550"), std::string::npos) << errors[0];
    EXPECT_NE(errors[1].find("left@fleet.example"), std::string::npos) << errors[1];
    EXPECT_NE(errors[2].find("EmailFromName"), std::string::npos) << errors[2];
}

TEST_F(DispatchOutboxTest, UnusableServerStopsTheDispatchAndKeepsEveryRowPending) {
    const test::TestCertificate certificate;
    const auto requireTls =
        SmtpServerOptions().withTls(SmtpServerOptions::Tls::RequireStartTls, certificate);
    struct Case {
        const char* what;
        SmtpServerOptions options;
        bool stopServer;
        std::optional<std::string> port;  // nullopt: the server's
        bool useSslTls;
        std::string user, password;
        std::string expected;  // in the error: what to check
    };
    const std::vector<Case> cases = {
        {"server down", {}, true, std::nullopt, false, "", "", "AutomationServerEmailServerPort"},
        {"wrong password", SmtpServerOptions().withAuth("mailer", "right"), false, std::nullopt,
         false, "mailer", "Wr0ng-pass", "AutomationServerEmailPassword"},
        {"log-in required, no user", SmtpServerOptions().withAuth("mailer", "right"), false,
         std::nullopt, false, "", "", "AutomationServerEmailUser"},
        {"TLS required but not enabled", requireTls, false, std::nullopt, false, "", "",
         "AutomationServerEmailUseSSLTLS"},
        {"STARTTLS not offered", {}, false, std::nullopt, true, "", "", "STARTTLS"},
        {"certificate not trusted", requireTls, false, std::nullopt, true, "", "",
         "AUTOMATION_SERVER_SMTP_CA_FILE"},
        {"port with letters", {}, false, "25a", false, "", "", "AutomationServerEmailServerPort"},
        {"empty port", {}, false, "", false, "", "", "AutomationServerEmailServerPort"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        state().report.clear();
        state().counters.reset();
        db().exec("DELETE FROM AutomationServer_EmailsSent");
        const Ids ids = {queue("a@fleet.example", "x"), queue("b@fleet.example", "y"),
                         queue("c@fleet.example", "z")};
        SmtpTestServer server(c.options);
        useServer(server);
        if (c.stopServer) {
            server.stop();
        }
        if (c.port) {
            state().company.AutomationServerEmailServerPort = *c.port;
        }
        state().company.AutomationServerEmailUseSSLTLS = c.useSslTls;
        state().company.AutomationServerEmailUser = c.user;
        state().company.AutomationServerEmailPassword = c.password;

        DispatchOutbox(state());

        EXPECT_EQ(pending(), ids);
        EXPECT_EQ(state().counters.emails(), 0);
        ASSERT_EQ(state().report.errors.size(), 1u) << "reported once, not once per message";
        const auto& error = state().report.errors[0];
        EXPECT_NE(error.find("3 message"), std::string::npos) << error;
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
        if (!c.password.empty()) {
            EXPECT_EQ(error.find(c.password), std::string::npos) << error;
        }
        if (c.port) {
            EXPECT_EQ(server.connections(), 0) << "nothing sent before the port is known";
        }
        if (!c.stopServer) {
            EXPECT_TRUE(server.messages().empty());
        }
    }
}

TEST_F(DispatchOutboxTest, StartTlsWithLogInTrustsTheCaFileFromTheEnvironment) {
    const test::TestCertificate certificate;
    SmtpTestServer server(SmtpServerOptions()
                              .withTls(SmtpServerOptions::Tls::RequireStartTls, certificate)
                              .withAuth("mailer", "s3cret"));
    useServer(server);
    state().company.AutomationServerEmailUseSSLTLS = true;
    state().company.AutomationServerEmailUser = "mailer";
    state().company.AutomationServerEmailPassword = "s3cret";
    queue("a@fleet.example", "x");
    queue("b@fleet.example", "y");

    {
        const test::ScopedEnvironment ca("AUTOMATION_SERVER_SMTP_CA_FILE",
                                         certificate.certificate().string());
        DispatchOutbox(state());
    }

    EXPECT_TRUE(state().report.errors.empty())
        << (state().report.errors.empty() ? "" : state().report.errors[0]);
    const auto received = server.messages();
    ASSERT_EQ(received.size(), 2u);
    for (const auto& m : received) {
        EXPECT_EQ(m.tls, "starttls");
        EXPECT_EQ(m.authUser, "mailer");
    }
    EXPECT_EQ(server.connections(), 1);
    EXPECT_EQ(pending(), Ids{});
}

TEST_F(DispatchOutboxTest, ImplicitTlsOnPort465) {
    const test::TestCertificate certificate;
    std::unique_ptr<SmtpTestServer> server;
    SmtpServerOptions options =
        SmtpServerOptions().withTls(SmtpServerOptions::Tls::Implicit, certificate);
    options.port = 465;
    try {
        server = std::make_unique<SmtpTestServer>(options);
    } catch (const std::exception& e) {
        GTEST_SKIP() << "port 465 cannot be opened here: " << e.what();
    }
    useServer(*server);
    state().company.AutomationServerEmailUseSSLTLS = true;
    queue("a@fleet.example", "x");
    {
        const test::ScopedEnvironment ca("AUTOMATION_SERVER_SMTP_CA_FILE",
                                         certificate.certificate().string());
        DispatchOutbox(state());
    }

    const auto received = server->messages();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].tls, "implicit");
    EXPECT_EQ(pending(), Ids{});
}

TEST_F(DispatchOutboxTest, PickupDirectoryGetsOneCompleteFilePerMessage) {
    test::TempDir dir;
    const auto pickup = dir.path() / "pickup";
    state().options.pickupDirectory = pickup;
    state().company.AutomationServerEmailServer = "";  // never asked for
    queue("r1@fleet.example", "one");
    queue("r1@fleet.example", "two");
    queue("r2@fleet.example; r3@fleet.example", "three");

    DispatchOutbox(state());

    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(pickup)) {
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    ASSERT_EQ(files.size(), 2u);
    for (const auto& file : files) {
        EXPECT_EQ(file.extension(), ".eml");
    }
    const auto parsed = SmtpTestServer::parseMessageFiles(files);
    EXPECT_EQ(parsed[0].to, "r1@fleet.example");
    EXPECT_EQ(parsed[0].body, digest({"one", "two"}));
    EXPECT_EQ(parsed[1].to, "r2@fleet.example, r3@fleet.example");
    EXPECT_EQ(parsed[1].body, digest({"three"}));
    for (const auto& m : parsed) {
        EXPECT_EQ(m.subject, "Notification from Northwind Fleet");
        EXPECT_EQ(m.from, "Northwind Fleet <alerts@fleet.example>");
        EXPECT_NE(m.date, "");
        EXPECT_NE(m.messageId, "");
        EXPECT_EQ(m.defects, "");
    }
    EXPECT_NE(parsed[0].messageId, parsed[1].messageId);
    EXPECT_EQ(pending(), Ids{});
    EXPECT_EQ(state().counters.emails(), 2);
    EXPECT_TRUE(state().report.errors.empty());
}

}  // namespace
}  // namespace fas::mail
