#pragma once

#include <string>

#include "state/ServerState.h"

namespace fas::mail {

// Checks, without sending any message, that the transport this process uses could deliver now:
// the mail server is reached, greets, takes TLS and the log-in and is left with QUIT; with a
// pickup directory, the directory can be written. Returns a line saying what was found good;
// throws MailUnavailable (a std::exception) saying what is wrong.
std::string CheckMailDelivery(const ServerState& state);

}  // namespace fas::mail
