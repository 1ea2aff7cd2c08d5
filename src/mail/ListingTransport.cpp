#include "mail/ListingTransport.h"

#include <string>

namespace fas::mail {

ListingTransport::ListingTransport(std::ostream& out, int bodyLines)
    : out_(out), bodyLines_(bodyLines) {}

std::string ListingTransport::checkDelivery() {
    return "messages are listed on standard output, none is sent";
}

DeliveryResult ListingTransport::deliver(const OutgoingMessage& message) {
    std::string to;
    for (const std::string& recipient : message.recipients) {
        to += (to.empty() ? "" : ", ") + recipient;
    }
    out_ << "--- message " << ++listed_ << " (not sent)\n"
         << "From: \"" << message.senderName << "\" <" << message.senderAddress << ">\n"
         << "To: " << to << "\n"
         << "Subject: " << message.subject << "\n";
    std::size_t start = 0;
    int lines = 0;
    while (start < message.body.size() && lines < bodyLines_) {
        std::size_t end = message.body.find("\r\n", start);
        if (end == std::string::npos) {
            end = message.body.size();
        }
        out_ << "  " << message.body.substr(start, end - start) << "\n";
        start = end + 2;
        ++lines;
    }
    if (start < message.body.size()) {
        out_ << "  ...\n";
    }
    out_.flush();
    return {};
}

}  // namespace fas::mail
