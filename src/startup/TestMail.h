#pragma once

#include <filesystem>
#include <ostream>
#include <string>

#include "state/ServerState.h"

namespace fas::startup {

// Sends one message, "Test message from <company name>", to `address` through the transport a
// run would use (the Company row's mail server, or the pickup directory), so that an operator
// sees the mail path work before a real notification depends on it. Reads config.txt and the
// Company row; writes nothing to the database and takes no single-copy lock, so it works beside
// a running server. Says on `out` that the server accepted the message, or on `err` why not, in
// the dispatch's words. Returns the exit status: 0 accepted, 1 otherwise.
int RunTestMail(ServerState& state, const std::filesystem::path& configFile,
                const std::string& address, std::ostream& out, std::ostream& err);

}  // namespace fas::startup
