// Message composition checked by an independent reader (Python's email package, through the
// SMTP test server's parser), recipient splitting and the port setting.

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "mail/Addresses.h"
#include "mail/MailErrors.h"
#include "mail/MessageComposer.h"
#include "mail/SmtpSettings.h"
#include "support/SmtpTestServer.h"

namespace fas::mail {
namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find("\r\n", start);
        if (end == std::string::npos) {
            out.push_back(text.substr(start));
            break;
        }
        out.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

// Reads composed messages back with the independent parser, all in one go.
std::vector<test::ReceivedMessage> readBack(const std::vector<std::string>& texts) {
    test::TempDir dir;
    std::vector<std::filesystem::path> files;
    for (const auto& text : texts) {
        files.push_back(dir.path() / (std::to_string(files.size()) + ".eml"));
        std::ofstream(files.back(), std::ios::binary) << text;
    }
    return test::SmtpTestServer::parseMessageFiles(files);
}

TEST(Recipients, SplitTrimsAndSkipsEmptyPieces) {
    using V = std::vector<std::string>;
    EXPECT_EQ(splitRecipientText("a@x"), V{"a@x"});
    EXPECT_EQ(splitRecipientText("a@x;b@y"), (V{"a@x", "b@y"}));
    EXPECT_EQ(splitRecipientText("a@x; b@y"), (V{"a@x", "b@y"}));
    EXPECT_EQ(splitRecipientText("a@x;;b@y;"), (V{"a@x", "b@y"}));
    EXPECT_EQ(splitRecipientText(" \ta@x \r\n; "), V{"a@x"});
    EXPECT_EQ(splitRecipientText(";"), V{});
    // Case is kept: addresses go out as written.
    EXPECT_EQ(splitRecipientText("Ann@X"), V{"Ann@X"});

    EXPECT_TRUE(isUsableAddress("first.last+tag@sub.fleet.example"));
    for (const char* bad :
         {"", "a b@x", "a@x\r\nRCPT TO:<evil@x>", "<a@x>", "a@x,b@y", "m\xC3\xBC@x"}) {
        EXPECT_FALSE(isUsableAddress(bad)) << bad;
    }
}

TEST(PortSetting, ConvertsDecimalTextAndRefusesAnythingElse) {
    EXPECT_EQ(parsePortSetting("587"), 587);
    EXPECT_EQ(parsePortSetting(" 25 "), 25);
    EXPECT_EQ(parsePortSetting("65535"), 65535);
    for (const char* bad : {"", " ", "abc", "58x7", "587.0", "0", "-25", "65536", "99999999999"}) {
        try {
            parsePortSetting(bad);
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const MailUnavailable& e) {
            EXPECT_NE(std::string(e.what()).find("AutomationServerEmailServerPort"),
                      std::string::npos);
        }
    }
}

TEST(PortSetting, TlsIsImplicitOn465AndStartTlsElsewhere) {
    EXPECT_EQ(securityFor(true, 465), SmtpSecurity::ImplicitTls);
    EXPECT_EQ(securityFor(true, 587), SmtpSecurity::StartTls);
    EXPECT_EQ(securityFor(true, 25), SmtpSecurity::StartTls);
    EXPECT_EQ(securityFor(false, 465), SmtpSecurity::None);

    CompanySettings company;
    company.AutomationServerEmailServer = "smtp.fleet.example";
    company.AutomationServerEmailServerPort = "465";
    company.AutomationServerEmailUseSSLTLS = true;
    const auto settings = smtpSettingsFrom(company, "");
    EXPECT_EQ(settings.security, SmtpSecurity::ImplicitTls);
    EXPECT_FALSE(settings.caFile.has_value());
    EXPECT_EQ(smtpSettingsFrom(company, "/etc/ca.pem").caFile, "/etc/ca.pem");

    company.AutomationServerEmailServer = " ";
    EXPECT_THROW(smtpSettingsFrom(company, nullptr), MailUnavailable);
    company.AutomationServerEmailServer = "smtp.fleet.example/evil";
    EXPECT_THROW(smtpSettingsFrom(company, nullptr), MailUnavailable);
}

TEST(MessageComposer, BodyComesBackByteForByteWithinLineLimits) {
    const std::string longLine(300, 'x');
    const std::vector<std::string> bodies = {
        "",
        "One line without a break",
        "Driver licence expires 3/15/2027\r\n\r\n\r\n\r\nFooter",
        "Tr\xC3\xA4ining f\xC3\xBCr M\xC3\xBCller \xE2\x80\x94 due\r\n",
        ".leading dot\r\n..two\r\nFrom the office\r\n=3D and = signs\r\n",
        "trailing blank \r\ntrailing tab\t\r\nlone LF\nlone CR\rend",
        longLine + "\r\n" + std::string(75, 'y') + "=\r\n" + std::string(80, '.') + "\r\n",
        std::string("\x00\x01\x7F", 3) + "\r\n",
    };
    MessageStamper stamper;
    std::vector<std::string> texts;
    for (const auto& body : bodies) {
        const OutgoingMessage message{"alerts@fleet.example", "Fleet", {"a@x.example"}, "S", body};
        texts.push_back(composeMessage(message, stamper.stamp(message.senderAddress)));
    }
    const auto parsed = readBack(texts);
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        SCOPED_TRACE(bodies[i]);
        const auto& text = texts[i];
        ASSERT_GE(text.size(), 2u);
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
        for (const auto& line : lines(text)) {
            EXPECT_LE(line.size(), 78u) << line;
            EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "bare CR or LF";
        }
        const auto& back = parsed[i];
        EXPECT_EQ(back.body, bodies[i]);
        EXPECT_EQ(back.defects, "");
        EXPECT_EQ(back.contentType, "text/plain");
        EXPECT_EQ(back.charset, "utf-8");
        EXPECT_EQ(back.transferEncoding, "quoted-printable");
        EXPECT_EQ(back.mimeVersion, "1.0");
    }
}

TEST(MessageComposer, HeadersSurviveNonAsciiLengthAndInjection) {
    struct Case {
        std::string name;
        std::string subject;
        std::string expectedFrom;
        std::string expectedSubject;
    };
    const std::string longSubject = "Notification from " + std::string(20, 'N') +
                                    " Fleet Compliance Services and Partners "
                                    "Incorporated of the Northern Region Transport Safety Division";
    const std::string longUtf8 = "Notification from " + std::string(40, 'A') + " \xC3\x9C" +
                                 std::string(60, 'B') + "\xE2\x82\xAC";
    const std::vector<Case> cases = {
        {"Fleet Co", "Notification from Fleet Co", "Fleet Co <alerts@fleet.example>",
         "Notification from Fleet Co"},
        {"M\xC3\xBCller Transport GmbH", "Notification from M\xC3\xBCller Transport GmbH",
         "M\xC3\xBCller Transport GmbH <alerts@fleet.example>",
         "Notification from M\xC3\xBCller Transport GmbH"},
        {"Smith, \"Jones\" & Co", longSubject,
         "\"Smith, \\\"Jones\\\" & Co\" <alerts@fleet.example>", longSubject},
        {"", longUtf8, "alerts@fleet.example", longUtf8},
        // Line breaks in a value never start a header of their own.
        {"Evil\r\nBcc: victim@x.example", "Hi\r\nBcc: victim@x.example\r\n\r\nbody",
         "\"Evil  Bcc: victim@x.example\" <alerts@fleet.example>",
         "Hi  Bcc: victim@x.example    body"},
        {"Fleet", "=?UTF-8?B?ZXZpbA==?= looks encoded", "Fleet <alerts@fleet.example>",
         "=?UTF-8?B?ZXZpbA==?= looks encoded"},
    };
    MessageStamper stamper;
    std::vector<std::string> texts;
    for (const auto& c : cases) {
        const OutgoingMessage message{"alerts@fleet.example",
                                      c.name,
                                      {"one@fleet.example", "two@fleet.example"},
                                      c.subject,
                                      "Body\r\n"};
        texts.push_back(composeMessage(message, stamper.stamp(message.senderAddress)));
    }
    const auto parsed = readBack(texts);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.subject);
        const std::string headers = texts[i].substr(0, texts[i].find("\r\n\r\n") + 2);
        EXPECT_EQ(headers.find("\nBcc"), std::string::npos);
        for (const auto& line : lines(headers)) {
            EXPECT_LE(line.size(), 78u) << line;
        }
        const auto& back = parsed[i];
        EXPECT_EQ(back.subject, c.expectedSubject);
        EXPECT_EQ(back.from, c.expectedFrom);
        EXPECT_EQ(back.to, "one@fleet.example, two@fleet.example");
        EXPECT_EQ(back.body, "Body\r\n");
        EXPECT_EQ(back.defects, "");
        EXPECT_NE(back.date, "");
    }
}

TEST(MessageComposer, StampsAreUniqueAndDatedInRfc5322Form) {
    MessageStamper stamper;
    const auto a = stamper.stamp("alerts@fleet.example");
    const auto b = stamper.stamp("alerts@fleet.example");
    EXPECT_NE(a.messageId, b.messageId);
    EXPECT_TRUE(a.messageId.ends_with("@fleet.example>")) << a.messageId;
    EXPECT_TRUE(MessageStamper().stamp("postmaster").messageId.ends_with("@localhost>"));
    EXPECT_NE(MessageStamper().stamp("x@y").messageId, MessageStamper().stamp("x@y").messageId);

    // 2027-03-15 10:30:00 UTC in the machine's zone: day, month and offset as RFC 5322 writes them.
    const std::string date = rfc5322Date(1805106600);
    EXPECT_TRUE(std::regex_match(
        date,
        std::regex(
            R"((Mon|Tue|Wed|Thu|Fri|Sat|Sun), \d\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4} \d\d:\d\d:\d\d [+-]\d{4})")))
        << date;
}

}  // namespace
}  // namespace fas::mail
