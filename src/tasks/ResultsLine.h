#pragma once

#include <string>

#include "db/DateTime.h"
#include "state/ServerState.h"

namespace fas::tasks {

// The line a run adds to the results list: "<date text>  - Emails: n  Issues Created: n  Issues
// Closed: n", followed by "  Errors: <n> (<first error message>)" when the run met errors.
std::string ResultsLine(const ServerState& state, const db::DateTime& now);

}  // namespace fas::tasks
