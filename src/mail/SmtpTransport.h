#pragma once

#include <curl/curl.h>

#include <array>
#include <memory>
#include <optional>

#include "mail/MailErrors.h"
#include "mail/MailTransport.h"
#include "mail/MessageComposer.h"
#include "mail/SmtpConversation.h"
#include "mail/SmtpSettings.h"

namespace fas::mail {

// Sends through an SMTP server with libcurl. One easy handle serves the whole dispatch, so every
// message after the first goes over the connection (TLS session and log-in included) that the
// first one opened; each message still sets every option afresh. The connection is closed
// (QUIT) when the transport goes.
class SmtpTransport : public MailTransport {
  public:
    explicit SmtpTransport(SmtpSettings settings);
    ~SmtpTransport() override;
    SmtpTransport(const SmtpTransport&) = delete;
    SmtpTransport& operator=(const SmtpTransport&) = delete;

    const SmtpSettings& settings() const { return settings_; }

    std::string checkDelivery() override;
    std::string destination() const override { return serverDescription(); }
    std::optional<std::size_t> sizeLimit() const override { return sizeLimit_; }

  protected:
    DeliveryResult deliver(const OutgoingMessage& message) override;

  private:
    struct Handle;
    // One try at sending the composed message.
    struct Attempt {
        CURLcode code{};
        bool reusedConnection = false;
        SmtpConversation conversation;
        std::array<char, CURL_ERROR_SIZE> errorText{};
    };
    Attempt attempt(const OutgoingMessage& message, const std::string& data, bool freshConnection);
    std::string url() const;
    // The options every session needs (server, TLS, log-in, time-outs, the conversation).
    void configureSession(Attempt& attempt, const std::string& url);
    void perform(Attempt& attempt);
    // What the server announced when the attempt greeted it.
    void learnSizeLimit(const Attempt& attempt);
    // The failure of a session, with what to check.
    MailUnavailable unavailable(const Attempt& attempt) const;

    // "mail server smtp.example.com:587 (STARTTLS, user 'x')": names the settings, never the
    // password.
    std::string serverDescription() const;

    SmtpSettings settings_;
    std::unique_ptr<Handle> handle_;
    MessageStamper stamper_;
    std::optional<std::size_t> sizeLimit_;  // from the last greeting of the server
};

}  // namespace fas::mail
