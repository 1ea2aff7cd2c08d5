#include "mail/MessageComposer.h"

#include <cstdio>
#include <cstdlib>

#include "mail/Addresses.h"
#include "mail/HeaderEncoding.h"
#include "mail/QuotedPrintable.h"
#include "platform/Clock.h"
#include "platform/Process.h"

namespace fas::mail {

std::string rfc5322Date(std::time_t moment) {
    // Names written out: the C library's would follow the process locale.
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const auto clock = platform::LocalTimeOf(moment);
    const std::tm& local = clock.fields;
    const long offsetMinutes = clock.offsetSeconds / 60;
    const long absolute = std::labs(offsetMinutes);
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  kDays[local.tm_wday % 7], local.tm_mday, kMonths[local.tm_mon % 12],
                  local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec,
                  offsetMinutes < 0 ? '-' : '+', absolute / 60, absolute % 60);
    return text;
}

MessageStamper::MessageStamper() : random_(std::random_device{}()) {}

MessageStamp MessageStamper::stamp(std::string_view senderAddress) {
    const std::time_t now = std::time(nullptr);
    std::string domain(addressDomain(senderAddress));
    if (!isUsableDomain(domain)) {
        domain = "localhost";
    }
    char local[96];
    std::snprintf(local, sizeof local, "%lld.%ld.%llu.%016llx", static_cast<long long>(now),
                  platform::ProcessId(), static_cast<unsigned long long>(++sequence_),
                  static_cast<unsigned long long>(random_()));
    std::string id = "<";
    id += local;
    id += '@';
    id += domain;
    id += '>';
    return {rfc5322Date(now), id};
}

std::string composeMessage(const OutgoingMessage& message, const MessageStamp& stamp) {
    std::string text;
    text.reserve(message.body.size() + message.body.size() / 8 + 512);
    const auto field = [&text](const std::string& line) { text += line + "\r\n"; };
    field(mailboxField("From", message.senderName, message.senderAddress));
    field(addressListField("To", message.recipients));
    field(unstructuredField("Subject", message.subject));
    field("Date: " + stamp.date);
    field("Message-ID: " + stamp.messageId);
    field("MIME-Version: 1.0");
    field("Content-Type: text/plain; charset=UTF-8");
    field("Content-Transfer-Encoding: quoted-printable");
    text += "\r\n";
    text += encodeQuotedPrintable(message.body);
    return text;
}

std::size_t composedSizeWithoutBody(const OutgoingMessage& message) {
    OutgoingMessage headersOnly = message;
    headersOnly.body.clear();
    // The longest stamp: the widest date, and a Message-ID whose domain is the sender's or
    // "localhost" after the longest local part stamp() writes.
    const MessageStamp longest{"Wed, 30 Sep 2026 23:59:59 +1400",
                               "<" + std::string(95, 'x') + "@" +
                                   std::string(addressDomain(message.senderAddress)) +
                                   "localhost>"};
    return composeMessage(headersOnly, longest).size();
}

}  // namespace fas::mail
