#pragma once

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
// its rows stay pending and the dispatch goes on with the next message.
class MessageRefused : public MailError {
  public:
    using MailError::MailError;
};

// Nothing can be delivered in this run (settings unusable, server unreachable, TLS or log-in
// failed, pickup directory not writable): the dispatch stops and every row left stays pending.
class MailUnavailable : public MailError {
  public:
    using MailError::MailError;
};

}  // namespace fas::mail
