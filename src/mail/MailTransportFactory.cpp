#include "mail/MailTransportFactory.h"

#include <cstdlib>

#include "mail/PickupDirectoryTransport.h"
#include "mail/SmtpTransport.h"

namespace fas::mail {

std::unique_ptr<MailTransport> makeMailTransport(const ServerState& state) {
    if (state.options.pickupDirectory) {
        return std::make_unique<PickupDirectoryTransport>(*state.options.pickupDirectory);
    }
    return std::make_unique<SmtpTransport>(
        smtpSettingsFrom(state.company, std::getenv(kSmtpCaFileVariable)));
}

}  // namespace fas::mail
