#pragma once

#include <memory>

#include "mail/MailTransport.h"
#include "state/ServerState.h"

namespace fas::mail {

// The transport this process uses: the pickup directory when the command line named one,
// otherwise the company's SMTP server (a CA file may be named by AUTOMATION_SERVER_SMTP_CA_FILE).
// Throws MailUnavailable when the settings cannot be used.
std::unique_ptr<MailTransport> makeMailTransport(const ServerState& state);

}  // namespace fas::mail
