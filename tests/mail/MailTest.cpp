// Outbox dispatch against a real SMTP server (aiosmtpd), messages read back by Python's email
// parser, and the settings and addresses mail depends on.
#include <gmock/gmock.h>

#include <stdlib.h>

#include <fstream>
#include <map>
#include <set>

#include "mail/Addresses.h"
#include "mail/DispatchOutbox.h"
#include "mail/MailErrors.h"
#include "mail/MessageComposer.h"
#include "mail/Outbox.h"
#include "mail/SmtpSettings.h"
#include "mail/SmtpTransport.h"
#include "support/Environment.h"

namespace fas::mail {
namespace {

using test::SmtpServerOptions;
using Tls = SmtpServerOptions::Tls;
using test::SmtpTestServer;

std::string digest(const Strings& bodies) {
    std::string text;
    for (const auto& body : bodies) {
        text += body + "\r\n";
    }
    return text + "\r\n\r\n\r\n" + kFooter;
}

TEST_F(Outbox, OneDigestPerExactRecipientTextOverAReusedConnection) {
    // Two messages, then the server drops the connection: one fresh connection more.
    SmtpTestServer server({.maxMessagesPerConnection = 2});
    use(server);
    queue("r2@fleet.example", "Vehicle 12 due");
    queue("r1@fleet.example", "Ann M\xC3\xBCller: licence");
    queue("r1@fleet.example", ".Medical = expired");
    queue("R1@fleet.example", "case differs");
    queue("a@fleet.example;b@fleet.example", "first");
    queue("a@fleet.example;b@fleet.example", db::Value());  // a Null body adds its line break
    queue("old@fleet.example", "sent before", 1);

    DispatchOutbox(db.state);

    std::map<std::string, std::string> bodies;  // by recipients as the server saw them
    std::set<std::string> senders;              // envelope, From and Subject of each
    for (const auto& m : server.messages()) {
        bodies[m.rcptTos.front() + (m.rcptTos.size() > 1 ? "+" + m.rcptTos[1] : "")] = m.body;
        senders.insert(m.mailFrom + " / " + m.from + " / " + m.subject);
    }
    EXPECT_EQ(
        bodies,
        (std::map<std::string, std::string>{
            {"R1@fleet.example", digest({"case differs"})},
            {"a@fleet.example+b@fleet.example", "first\r\n\r\n" + digest({})},
            {"r1@fleet.example", digest({"Ann M\xC3\xBCller: licence", ".Medical = expired"})},
            {"r2@fleet.example", digest({"Vehicle 12 due"})}}));
    EXPECT_EQ(senders,
              std::set<std::string>{"alerts@fleet.example / Northwind Fleet "
                                    "<alerts@fleet.example> / Notification from Northwind Fleet"});
    EXPECT_EQ(server.connections(), 2);
    EXPECT_EQ(db.state.counters.emails(), 4);
    EXPECT_TRUE(db.state.report.errors.empty());
    EXPECT_EQ(pending(), Ids{});
}

TEST_F(Outbox, RefusedMessageStaysPendingAndTheDispatchGoesOn) {
    SmtpTestServer server({.rejectRecipients = {"gone@fleet.example", "left@fleet.example"},
                           .rejectDataContaining = {"REFUSED"}});
    use(server);
    queue("a@fleet.example", "to a");
    const Ids kept = {queue("gone@fleet.example", "lost"), queue("b@fleet.example", "REFUSED"),
                      queue("z@fleet.example", "no name", 0, db::Value()),
                      queue("two words@fleet.example", "bad address")};
    queue("left@fleet.example;z@fleet.example", "to z");

    DispatchOutbox(db.state);

    EXPECT_EQ(pending(), kept);
    EXPECT_EQ(db.state.counters.emails(), 2);
    const auto got = server.messages();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].rcptTos, (Strings{"z@fleet.example"}));
    EXPECT_EQ(got[1].to, "left@fleet.example, z@fleet.example");
    // A refused recipient is named by the address the server refused.
    for (const char* expected : {"gone@fleet.example refused with \"550", "554", "EmailFromName",
                                 "two words", "did not reach left@fleet.example: 550"}) {
        EXPECT_THAT(db.state.report.errors, testing::Contains(testing::HasSubstr(expected)));
    }
}

TEST_F(Outbox, UnusableServerStopsTheDispatchReportedOnce) {
    const test::TestCertificate cert;
    const SmtpServerOptions tls{.tls = Tls::RequireStartTls, .certificate = &cert};
    const SmtpServerOptions auth{.authUser = "mailer", .authPassword = "right"};
    // The server, whether it is stopped, TLS and the log-in asked for; what the error names.
    const auto expect = [&](const SmtpServerOptions& options, bool down, bool useTls,
                            const std::string& user, const std::string& password,
                            const std::string& names) {
        SCOPED_TRACE(names);
        db.state.report.clear();
        db.exec("DELETE FROM AutomationServer_EmailsSent");
        const Ids ids = {queue("a@fleet.example", "x"), queue("b@fleet.example", "y")};
        SmtpTestServer server(options);
        use(server);
        if (down) {
            server.stop();
        }
        db.state.company.AutomationServerEmailUseSSLTLS = useTls;
        db.state.company.AutomationServerEmailUser = user;
        db.state.company.AutomationServerEmailPassword = password;
        DispatchOutbox(db.state);
        EXPECT_EQ(pending(), ids);
        EXPECT_THAT(db.state.report.errors,
                    testing::ElementsAre(
                        testing::AllOf(testing::HasSubstr("2 message"), testing::HasSubstr(names),
                                       testing::Not(testing::HasSubstr("Wr0ng")))));
    };
    expect({}, true, false, "", "", "AutomationServerEmailServerPort");
    expect(auth, false, false, "mailer", "Wr0ng-pass", "AutomationServerEmailPassword");
    expect(auth, false, false, "", "", "AutomationServerEmailUser");
    expect(tls, false, false, "", "", "AutomationServerEmailUseSSLTLS");
    expect({}, false, true, "", "", "STARTTLS");
    if (!test::UnderWine()) {  // Wine's Schannel trusts what Windows would not: proven on Linux
        expect(tls, false, true, "", "", "AUTOMATION_SERVER_SMTP_CA_FILE");
    }
    EXPECT_EQ(db.state.counters.emails(), 0);
}

TEST_F(Outbox, TlsAndLogInWithTheCaFileFromTheEnvironment) {
    const test::TestCertificate cert;
    test::SetEnvironment(kSmtpCaFileVariable, cert.certificate().string());
    for (const auto mode : {Tls::RequireStartTls, Tls::Implicit}) {
        const bool implicit = mode == Tls::Implicit;
        SmtpTestServer server({.port = implicit ? 465 : 0,
                               .tls = mode,
                               .certificate = &cert,
                               .authUser = implicit ? std::nullopt : std::optional("mailer"),
                               .authPassword = "s3cret"});
        use(server);
        // By name: Schannel matches a certificate's names, never its addresses.
        db.state.company.AutomationServerEmailServer = "localhost";
        db.state.company.AutomationServerEmailUseSSLTLS = true;
        db.state.company.AutomationServerEmailUser = implicit ? "" : "mailer";
        db.state.company.AutomationServerEmailPassword = implicit ? "" : "s3cret";
        queue("a@fleet.example", "x");
        DispatchOutbox(db.state);
        const auto got = server.messages();
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].tls, implicit ? "implicit" : "starttls");
        EXPECT_EQ(got[0].authUser, implicit ? "" : "mailer");
    }
    test::SetEnvironment(kSmtpCaFileVariable, std::nullopt);
    EXPECT_EQ(pending(), Ids{});
}

TEST(MessageComposer, BodiesAndHeadersComeBackIntactAndWithinLineLimits) {
    const std::string longUtf8 = "Notification from " + std::string(40, 'A') + " \xC3\x9C" +
                                 std::string(60, 'B') + "\xE2\x82\xAC";
    struct Case {
        std::string name, subject, body, from, readSubject;
    };
    const std::vector<Case> cases = {
        {"M\xC3\xBCller GmbH", "Hi", "", "M\xC3\xBCller GmbH <a@x.example>", "Hi"},
        {"Smith, \"J\" & Co", longUtf8, "Tr\xC3\xA4ining \xE2\x80\x94 due\r\n",
         "\"Smith, \\\"J\\\" & Co\" <a@x.example>", longUtf8},
        {"", "=?UTF-8?B?ZXZpbA==?=", ".dot\r\n..two\r\nFrom x\r\n=3D = \r\ntab\t\r\nF\r\n.",
         "a@x.example", "=?UTF-8?B?ZXZpbA==?="},
        {"Evil\r\nBcc: v@x", "Hi\r\nBcc: v@x\r\n\r\nb",
         "lone LF\nlone CR\rend" + std::string(300, 'x') + "\r\n" + std::string(75, 'y') + ".=\r\n",
         "\"Evil  Bcc: v@x\" <a@x.example>", "Hi  Bcc: v@x    b"},
    };
    test::TempDir dir;
    std::vector<std::filesystem::path> files;
    MessageStamper stamper;
    Strings texts;
    for (const auto& c : cases) {
        const OutgoingMessage m{
            "a@x.example", c.name, {"one@x.example", "two@x.example"}, c.subject, c.body};
        texts.push_back(composeMessage(m, stamper.stamp(m.senderAddress)));
        files.push_back(dir.path() / (std::to_string(files.size()) + ".eml"));
        std::ofstream(files.back(), std::ios::binary) << texts.back();
    }
    EXPECT_NE(texts[2].find("\r\n=3D3D =3D=20\r\ntab=09\r\n"), std::string::npos)
        << "blanks travel as written inside a line, encoded at its end";
    const auto got = SmtpTestServer::parseMessageFiles(files);
    std::set<std::string> ids;  // a reader drops a message whose Message-ID it has seen
    for (std::size_t i = 0; i < cases.size(); ++i) {
        ids.insert(got[i].messageId);
        SCOPED_TRACE(cases[i].body);
        EXPECT_EQ(got[i].body, cases[i].body);
        EXPECT_EQ(got[i].from, cases[i].from);
        EXPECT_EQ(got[i].subject, cases[i].readSubject);
        EXPECT_EQ(got[i].defects, "");
        for (std::size_t at = 0, end; at < texts[i].size(); at = end + 2) {
            end = texts[i].find("\r\n", at);
            ASSERT_NE(end, std::string::npos) << "the text ends with CRLF";
            EXPECT_LE(end - at, 78u);
            EXPECT_EQ(texts[i].substr(at, end - at).find_first_of("\r\n"), std::string::npos);
            EXPECT_NE(texts[i][at], '.') << "a line-initial dot is encoded";
        }
    }
    EXPECT_EQ(ids.size(), cases.size());
}

TEST(MailSettings, AddressesPortsAndServerNames) {
    EXPECT_EQ(splitRecipientText(" \ta@x ;;b@y; "), (Strings{"a@x", "b@y"}));
    for (const char* good : {"first.last+tag@sub.fleet.example", "Zoe.O'Neil09@AZ-09z.example"}) {
        EXPECT_TRUE(isUsableAddress(good)) << good;
    }
    for (const char* bad :
         {"", "a b@x", "a@x\r\nRCPT TO:<e@x>", "<a@x>", "a@x,b@y", "ax", "a@b@c", "m\xC3\xBC@x"}) {
        EXPECT_FALSE(isUsableAddress(bad)) << bad;
    }
    EXPECT_EQ(parsePortSetting(" 65535 "), 65535);
    for (const char* bad : {"", "abc", "587.0", "0", "-25", "65536", "99999999999"}) {
        EXPECT_THROW(parsePortSetting(bad), MailUnavailable) << bad;
    }
    CompanySettings company;
    company.AutomationServerEmailServerPort = "25";
    for (const char* host : {"az-09.AZ_fleet.example", "::1"}) {
        company.AutomationServerEmailServer = host;
        EXPECT_NO_THROW(smtpSettingsFrom(company, nullptr)) << host;
    }
    for (const char* host : {" ", "smtp.example/evil", "a;b"}) {
        company.AutomationServerEmailServer = host;
        EXPECT_THROW(smtpSettingsFrom(company, nullptr), MailUnavailable) << host;
    }
}

}  // namespace
}  // namespace fas::mail
