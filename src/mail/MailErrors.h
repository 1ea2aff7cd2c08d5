#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace fas::mail {

// Something went wrong while delivering outbox messages. The two kinds decide what the
// dispatcher does next.
class MailError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// This one message was refused (every recipient rejected, the data rejected, no usable address):
// its rows stay pending and the dispatch goes on with the next message. A refusal for good (5xx,
// or an address or sender that cannot be used) would be refused again at once; a passing one
// (4xx: mailbox busy, greylisted) may go through next run.
class MessageRefused : public MailError {
  public:
    explicit MessageRefused(const std::string& message, bool forGood = true)
        : MailError(message), forGood_(forGood) {}
    bool forGood() const { return forGood_; }

  private:
    bool forGood_;
};

// The message is larger than the server takes (the SIZE it announced): the same rows in smaller
// messages may go through.
class MessageTooLarge : public MessageRefused {
  public:
    MessageTooLarge(const std::string& message, std::size_t limit)
        : MessageRefused(message), limit_(limit) {}
    std::size_t limit() const { return limit_; }

  private:
    std::size_t limit_;
};

// Nothing can be delivered in this run (settings unusable, server unreachable, TLS or log-in
// failed, pickup directory not writable): the dispatch stops and every row left stays pending.
class MailUnavailable : public MailError {
  public:
    using MailError::MailError;
};

}  // namespace fas::mail
