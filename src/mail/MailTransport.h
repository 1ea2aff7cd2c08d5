#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "mail/OutgoingMessage.h"

namespace fas::mail {

// Where the dispatcher's messages go: an SMTP server, a pickup directory, ... One transport
// object serves a whole dispatch, so it can keep what messages may share (the SMTP connection);
// nothing of one message carries into the next.
class MailTransport {
  public:
    virtual ~MailTransport() = default;

    // Delivers one message with the dispatcher's five texts. The recipient text holds one or more
    // addresses separated by ";"; each is trimmed and empty pieces are skipped. Returns the
    // recipients that did not get the message while others did. Throws MessageRefused when this
    // message cannot go out (no usable recipient or sender, refused by the server) and
    // MailUnavailable when no message can go out in this run.
    DeliveryResult SendOutboxMessage(const std::string& senderAddress,
                                     const std::string& senderName,
                                     const std::string& recipientText, const std::string& subject,
                                     const std::string& body);

    // Checks, without delivering anything, that messages could go out now (the server greets,
    // takes TLS and the log-in; the directory can be written). Returns what was found good;
    // throws MailUnavailable saying what is wrong.
    virtual std::string checkDelivery() = 0;

    // Where messages go, for a person: "mail server smtp.example.com:587 (STARTTLS)".
    virtual std::string destination() const = 0;

    // The largest message, in bytes, the destination takes, once it said so (the SIZE an SMTP
    // server announces when greeted); nothing until then, or when it sets no limit.
    virtual std::optional<std::size_t> sizeLimit() const { return std::nullopt; }

  protected:
    // The message is checked: a usable sender and at least one usable recipient.
    virtual DeliveryResult deliver(const OutgoingMessage& message) = 0;
};

}  // namespace fas::mail
