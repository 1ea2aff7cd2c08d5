#pragma once

#include <string>
#include <vector>

namespace fas::mail {

// One message as the transports receive it: recipients already split and checked.
struct OutgoingMessage {
    std::string senderAddress;
    std::string senderName;
    std::vector<std::string> recipients;
    std::string subject;
    std::string body;  // plain text, CR LF line breaks
};

// A recipient the message did not reach while others did, with the reason.
struct RecipientRefusal {
    std::string address;
    std::string reason;
};

// What a delivery that did not fail as a whole left out.
struct DeliveryResult {
    std::vector<RecipientRefusal> refused;
};

}  // namespace fas::mail
