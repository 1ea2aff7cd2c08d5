#include "mail/MailCheck.h"

#include "mail/MailTransportFactory.h"

namespace fas::mail {

std::string CheckMailDelivery(const ServerState& state) {
    return makeMailTransport(state)->checkDelivery();
}

}  // namespace fas::mail
