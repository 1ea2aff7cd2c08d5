#include "mail/MailTransportFactory.h"

#include <cstdlib>

#include <iostream>

#include "mail/ListingTransport.h"
#include "mail/PickupDirectoryTransport.h"
#include "mail/SmtpTransport.h"

namespace fas::mail {

std::unique_ptr<MailTransport> makeMailTransport(const ServerState& state) {
    if (state.options.pickupDirectory) {
        return std::make_unique<PickupDirectoryTransport>(*state.options.pickupDirectory);
    }
    if (state.options.dryRun) {
        // A dry run never sends: its messages are listed instead.
        return std::make_unique<ListingTransport>(std::cout);
    }
    return std::make_unique<SmtpTransport>(
        smtpSettingsFrom(state.company, std::getenv(kSmtpCaFileVariable)));
}

}  // namespace fas::mail
