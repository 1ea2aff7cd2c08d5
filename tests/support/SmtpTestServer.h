#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/ProcessRunner.h"
#include "support/TestDatabase.h"

namespace fas::test {

// A message as the SMTP test server stored it (see tests/support/smtp_test_server.py).
struct ReceivedMessage {
    std::string tls;  // "none", "starttls" or "implicit"
    std::string authUser, mailFrom;
    std::vector<std::string> rcptTos;
    // Header values as a mail reader shows them (encoded words decoded).
    std::string subject, from, to, messageId;
    std::string body;     // the bytes after the transfer encoding is undone
    std::string defects;  // what the parser found wrong; empty when nothing
};

// A self-signed certificate for localhost and 127.0.0.1, made with openssl.
class TestCertificate {
  public:
    TestCertificate();
    std::filesystem::path certificate() const { return dir_.path() / "cert.pem"; }
    std::filesystem::path key() const { return dir_.path() / "key.pem"; }

  private:
    TempDir dir_;
};

// Written with designated initializers: {.tls = Tls::Implicit, .certificate = &cert}.
struct SmtpServerOptions {
    enum class Tls { None, RequireStartTls, Implicit };
    int port = 0;  // 0: a free one
    Tls tls = Tls::None;
    const TestCertificate* certificate = nullptr;  // needed for every TLS mode
    std::optional<std::string> authUser{};         // set: AUTH required with these credentials
    std::string authPassword{};
    std::vector<std::string> rejectRecipients{};      // refused at RCPT with 550
    std::vector<std::string> deferRecipients{};       // refused at RCPT with 450
    std::vector<std::string> rejectDataContaining{};  // data refused with 554 when it holds these
    int sizeLimit = 0;  // announced as SIZE, larger messages refused with 552; 0: aiosmtpd's
    bool storeMessages = true;         // false: only count them (benchmarks)
    int maxMessagesPerConnection = 0;  // then 421 and close; 0: no limit
    int delayMs = 0;                   // a slow relay: each DATA waits this long
};

// A real SMTP server (aiosmtpd under /usr/bin/python3) on a loopback port while the object lives.
class SmtpTestServer {
  public:
    explicit SmtpTestServer(SmtpServerOptions options = {});
    ~SmtpTestServer() { stop(); }
    SmtpTestServer(const SmtpTestServer&) = delete;
    SmtpTestServer& operator=(const SmtpTestServer&) = delete;

    std::string host() const { return "127.0.0.1"; }
    int port() const { return port_; }
    // Connections accepted so far (a STARTTLS upgrade is not a new one).
    int connections() const;
    // Messages accepted so far (also when they are not stored).
    int messagesAccepted() const;
    // Every message accepted so far, in the order received.
    std::vector<ReceivedMessage> messages() const;
    // Ends the server now: from then on the port refuses connections.
    void stop();

    // Parses message files (a pickup directory's .eml) as the server parses what it receives;
    // the envelope fields stay empty.
    static std::vector<ReceivedMessage> parseMessageFiles(
        const std::vector<std::filesystem::path>& files);

  private:
    SmtpServerOptions options_;
    TempDir store_;
    std::unique_ptr<BackgroundProcess> process_;
    int port_ = 0;
};

}  // namespace fas::test
