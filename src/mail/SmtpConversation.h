#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mail/OutgoingMessage.h"

namespace fas::mail {

struct SmtpReply {
    int code = 0;
    std::string text;  // the final line, without its line break
};

// Follows the commands and replies of one transfer as libcurl reports them, so that a failure
// can be told apart (the server refused this message, or the session itself failed) and the
// recipients refused among accepted ones can be named. Only command names, the MAIL and RCPT
// addresses and the server's replies are kept: the credentials sent with AUTH never are.
class SmtpConversation {
  public:
    void commandSent(std::string_view line);
    void replyReceived(std::string_view lines);
    void messageDataSent();

    // Whether the server answered a command about this message (MAIL, RCPT, DATA or the data
    // itself) with a refusal that concerns the message, not the session (not 421, not 53x).
    bool messageRefused() const;
    // Whether that refusal is for good: a 5xx reply to MAIL, to DATA, to the data, or to every
    // recipient. A 4xx is a passing one, worth trying again next run.
    bool refusedForGood() const;
    // The RCPT replies that were not 2xx.
    std::vector<RecipientRefusal> refusedRecipients() const;
    // "the server answered RCPT TO:<a@x> with 550 ..." for messages; empty when no reply came.
    std::string lastExchange() const;
    // The last command sent: "EHLO", "STARTTLS", "AUTH", "MAIL", "RCPT", "DATA", "message data"
    // or empty before any.
    const std::string& lastCommand() const { return command_; }
    // The code of the final reply to the last command, or 0 when none came.
    int lastReplyCode() const { return reply_ ? reply_->code : 0; }
    // Whether this transfer greeted the server (a new connection), and the largest message the
    // last greeting's reply announced (SIZE), when it announced one.
    bool greeted() const { return greeted_; }
    std::optional<std::size_t> announcedSize() const { return announcedSize_; }

  private:
    struct Recipient {
        std::string address;
        std::optional<SmtpReply> reply;
    };

    std::string command_;
    std::string argument_;  // the address of MAIL or RCPT
    std::optional<SmtpReply> reply_;
    std::vector<Recipient> recipients_;
    bool closing_ = false;  // QUIT sent: nothing after it concerns the message
    bool greeted_ = false;
    std::optional<std::size_t> announcedSize_;
};

}  // namespace fas::mail
