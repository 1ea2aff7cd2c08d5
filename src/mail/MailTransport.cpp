#include "mail/MailTransport.h"

#include "mail/Addresses.h"
#include "mail/MailErrors.h"

namespace fas::mail {

DeliveryResult MailTransport::SendOutboxMessage(const std::string& senderAddress,
                                                const std::string& senderName,
                                                const std::string& recipientText,
                                                const std::string& subject,
                                                const std::string& body) {
    if (!isUsableAddress(senderAddress)) {
        throw MessageRefused("The sender address '" + senderAddress +
                             "' is not a usable e-mail address (AutomationServerEmailFrom)");
    }
    OutgoingMessage message{senderAddress, senderName, {}, subject, body};
    std::vector<RecipientRefusal> unusable;
    for (auto& address : splitRecipientText(recipientText)) {
        if (isUsableAddress(address)) {
            message.recipients.push_back(std::move(address));
        } else {
            unusable.push_back({std::move(address), "not a usable e-mail address"});
        }
    }
    if (message.recipients.empty()) {
        throw MessageRefused("The recipient text '" + recipientText +
                             "' holds no usable e-mail address");
    }
    DeliveryResult result = deliver(message);
    result.refused.insert(result.refused.begin(), unusable.begin(), unusable.end());
    return result;
}

}  // namespace fas::mail
