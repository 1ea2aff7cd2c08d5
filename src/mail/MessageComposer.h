#pragma once

#include <cstdint>
#include <ctime>
#include <random>
#include <string>
#include <string_view>

#include "mail/OutgoingMessage.h"

namespace fas::mail {

// The two headers that differ for every message sent.
struct MessageStamp {
    std::string date;       // "Tue, 15 Mar 2027 10:30:00 +0100"
    std::string messageId;  // "<...@domain>"
};

// The Date header form of a moment, in the machine's local time with its offset from UTC.
std::string rfc5322Date(std::time_t moment);

// Hands out unique stamps: Message-IDs from the time, the process, a sequence number and
// random bits, at the sender's domain (or localhost when the sender has none).
class MessageStamper {
  public:
    MessageStamper();
    MessageStamp stamp(std::string_view senderAddress);

  private:
    std::mt19937_64 random_;
    std::uint64_t sequence_ = 0;
};

// The whole message as RFC 5322 text with CR LF line ends: From, To, Subject, Date,
// Message-ID, MIME-Version, Content-Type (text/plain, UTF-8), quoted-printable body.
std::string composeMessage(const OutgoingMessage& message, const MessageStamp& stamp);

// At least the bytes composeMessage gives for `message` besides its body, whatever the stamp.
// The body adds encodeQuotedPrintable(body).size(); it is encoded line by line, so the sizes of
// pieces that each end with CR LF add up to the size of the pieces joined.
std::size_t composedSizeWithoutBody(const OutgoingMessage& message);

}  // namespace fas::mail
