#pragma once

#include <string>

#include "db/DateTime.h"
#include "state/ServerState.h"

namespace fas::tasks {

// The line a run adds to the results list: "<date text>  - Emails: n  Issues Created: n  Issues
// Closed: n", then "  Emails Held Back: n" when digests wait after a refusal for good, and
// "  Errors: <n> (<first error message>)" when the run met errors.
// A dry run says so at the end of the counts.
std::string ResultsLine(const ServerState& state, const db::DateTime& now);

// The per-step report of the last run: one line for each catalog step that did anything, with
// the issues it created and closed and the notifications it queued, then each of its errors.
std::string StepReportText(const ServerState& state);

}  // namespace fas::tasks
