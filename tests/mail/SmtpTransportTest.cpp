// The SMTP transport against a real server: security modes and log-in, refusals that concern one
// message, one connection for many messages, and the check that sends nothing. (Failures that stop
// a dispatch are tested with the dispatcher.)

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "mail/MailCheck.h"
#include "mail/MailErrors.h"
#include "mail/SmtpTransport.h"
#include "support/SmtpTestServer.h"

namespace fas::mail {
namespace {

using test::SmtpServerOptions;
using test::SmtpTestServer;
using test::TestCertificate;
using Tls = SmtpServerOptions::Tls;

constexpr const char* kSender = "alerts@fleet.example";

SmtpSettings settingsFor(const SmtpTestServer& server, SmtpSecurity security = SmtpSecurity::None) {
    SmtpSettings settings;
    settings.host = server.host();
    settings.port = server.port();
    settings.security = security;
    settings.connectTimeout = std::chrono::seconds(5);
    settings.responseTimeout = std::chrono::seconds(10);
    return settings;
}

DeliveryResult send(SmtpTransport& transport, const std::string& recipients,
                    const std::string& body = "Body\r\n") {
    return transport.SendOutboxMessage(kSender, "Fleet Alerts", recipients, "Notification", body);
}

// The message of a failure, checked never to carry the password.
template <typename Error>
std::string failureOf(SmtpTransport& transport, const std::string& recipients) {
    try {
        send(transport, recipients);
    } catch (const Error& e) {
        const std::string text = e.what();
        if (!transport.settings().password.empty()) {
            EXPECT_EQ(text.find(transport.settings().password), std::string::npos) << text;
        }
        return text;
    }
    ADD_FAILURE() << "no failure of the expected kind";
    return {};
}

TEST(SmtpTransport, DeliversInEverySecurityModeWithAndWithoutLogIn) {
    const TestCertificate certificate;
    struct Case {
        Tls serverTls;
        SmtpSecurity security;
        bool logIn;
        const char* expectedTls;
    };
    for (const auto& c : {Case{Tls::None, SmtpSecurity::None, false, "none"},
                          Case{Tls::None, SmtpSecurity::None, true, "none"},
                          Case{Tls::RequireStartTls, SmtpSecurity::StartTls, true, "starttls"},
                          Case{Tls::StartTls, SmtpSecurity::StartTls, false, "starttls"},
                          Case{Tls::Implicit, SmtpSecurity::ImplicitTls, true, "implicit"}}) {
        SCOPED_TRACE(c.expectedTls + std::string(c.logIn ? " with AUTH" : ""));
        SmtpServerOptions options;
        options.tls = c.serverTls;
        options.certificate = &certificate;
        if (c.logIn) {
            options.authUser = "mailer";
            options.authPassword = "s3cret pass";
        }
        SmtpTestServer server(options);
        auto settings = settingsFor(server, c.security);
        settings.caFile = certificate.certificate().string();
        if (c.logIn) {
            settings.user = "mailer";
            settings.password = "s3cret pass";
        }
        SmtpTransport transport(settings);
        const auto result = send(transport, "one@fleet.example; two@fleet.example");
        EXPECT_TRUE(result.refused.empty());

        const auto received = server.messages();
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].tls, c.expectedTls);
        EXPECT_EQ(received[0].authUser, c.logIn ? "mailer" : "");
        EXPECT_EQ(received[0].mailFrom, kSender);
        EXPECT_EQ(received[0].rcptTos,
                  (std::vector<std::string>{"one@fleet.example", "two@fleet.example"}));
    }
}

TEST(SmtpTransport, RefusalsConcernOnlyTheirMessage) {
    SmtpTestServer server(SmtpServerOptions()
                              .rejecting("gone@fleet.example")
                              .rejecting("left@fleet.example")
                              .refusingDataTo("blocked@fleet.example"));
    SmtpTransport transport(settingsFor(server));

    // A refused recipient among accepted ones: the others get the message.
    const auto partial = send(transport, "one@fleet.example;gone@fleet.example;two@fleet.example");
    ASSERT_EQ(partial.refused.size(), 1u);
    EXPECT_EQ(partial.refused[0].address, "gone@fleet.example");
    EXPECT_NE(partial.refused[0].reason.find("550"), std::string::npos);

    // Every recipient refused, or the data refused: this message only.
    const auto text =
        failureOf<MessageRefused>(transport, "gone@fleet.example; left@fleet.example");
    EXPECT_NE(text.find("gone@fleet.example"), std::string::npos) << text;
    EXPECT_NE(text.find("left@fleet.example"), std::string::npos) << text;
    const auto data = failureOf<MessageRefused>(transport, "blocked@fleet.example");
    EXPECT_NE(data.find("554"), std::string::npos) << data;

    // No usable address at all: refused before the server is asked.
    failureOf<MessageRefused>(transport, " ; ;");
    failureOf<MessageRefused>(transport, "two words@fleet.example");

    // The transport goes on working after each refusal.
    EXPECT_TRUE(send(transport, "three@fleet.example").refused.empty());

    const auto received = server.messages();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].rcptTos,
              (std::vector<std::string>{"one@fleet.example", "two@fleet.example"}));
    // The To header still names every recipient the dispatcher gave.
    EXPECT_EQ(received[0].to, "one@fleet.example, gone@fleet.example, two@fleet.example");
    EXPECT_EQ(received[1].rcptTos, std::vector<std::string>{"three@fleet.example"});
}

TEST(SmtpTransport, OneConnectionCarriesEveryMessageOfADispatch) {
    const TestCertificate certificate;
    SmtpTestServer server(
        SmtpServerOptions().withTls(Tls::RequireStartTls, certificate).withAuth("mailer", "pw"));
    auto settings = settingsFor(server, SmtpSecurity::StartTls);
    settings.caFile = certificate.certificate().string();
    settings.user = "mailer";
    settings.password = "pw";
    {
        SmtpTransport transport(settings);
        for (int i = 0; i < 4; ++i) {
            send(transport, "r" + std::to_string(i) + "@fleet.example");
        }
    }
    EXPECT_EQ(server.connections(), 1);
    const auto reused = server.messages();
    ASSERT_EQ(reused.size(), 4u);
    for (const auto& m : reused) {
        EXPECT_EQ(m.connection, 1);
        EXPECT_EQ(m.tls, "starttls");
        EXPECT_EQ(m.authUser, "mailer");
    }
    // Nothing of one message carries into the next: each has its own recipient and id.
    EXPECT_EQ(reused[3].rcptTos, std::vector<std::string>{"r3@fleet.example"});
    EXPECT_NE(reused[0].messageId, reused[1].messageId);

    settings.reuseConnection = false;
    SmtpTransport fresh(settings);
    send(fresh, "a@fleet.example");
    send(fresh, "b@fleet.example");
    EXPECT_EQ(server.connections(), 3);
}

TEST(SmtpTransport, ReconnectsWhenTheServerEndsTheKeptConnection) {
    SmtpServerOptions options;
    options.maxMessagesPerConnection = 2;
    SmtpTestServer server(options);
    SmtpTransport transport(settingsFor(server));
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(send(transport, "r" + std::to_string(i) + "@fleet.example").refused.empty());
    }
    const auto received = server.messages();
    ASSERT_EQ(received.size(), 5u);
    EXPECT_EQ(received[4].rcptTos, std::vector<std::string>{"r4@fleet.example"});
    EXPECT_EQ(server.connections(), 3);
}

TEST(SmtpTransport, CheckLogsInWithoutSending) {
    const TestCertificate certificate;
    SmtpTestServer server(
        SmtpServerOptions().withTls(Tls::RequireStartTls, certificate).withAuth("mailer", "pw"));
    ServerState state;
    state.company.AutomationServerEmailServer = server.host();
    state.company.AutomationServerEmailServerPort = std::to_string(server.port());
    state.company.AutomationServerEmailUseSSLTLS = true;
    state.company.AutomationServerEmailUser = "mailer";
    state.company.AutomationServerEmailPassword = "pw";
    std::optional<test::ScopedEnvironment> ca;
    ca.emplace(kSmtpCaFileVariable, certificate.certificate().string());

    EXPECT_NE(CheckMailDelivery(state).find("log-in"), std::string::npos);
    state.company.AutomationServerEmailPassword = "wrong";
    EXPECT_THROW(CheckMailDelivery(state), MailUnavailable);
    state.company.AutomationServerEmailServerPort = "";
    EXPECT_THROW(CheckMailDelivery(state), MailUnavailable);
    ca.reset();
    EXPECT_TRUE(server.messages().empty());

    test::TempDir dir;
    state.options.pickupDirectory = dir.path() / "new" / "pickup";
    EXPECT_NE(CheckMailDelivery(state).find("pickup"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(*state.options.pickupDirectory));
}

}  // namespace
}  // namespace fas::mail
