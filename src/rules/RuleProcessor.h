#pragma once

#include "rules/RuleQueries.h"
#include "state/ServerState.h"

namespace fas::rules {

// One rule invocation, in four phases that each run to completion before the next begins:
//  1. settings: the item's alert settings (an item without a row keeps the previous ones);
//  2. auto-close (AutoCloseIssue): open automatic issues whose date has moved beyond the issue
//     window are closed;
//  3. notifications (any recipient kind enabled): rows due within the notify window and not yet
//     notified for their date are queued to the enabled recipients and recorded;
//  4. issues (CreateIssue): rows due within the issue window without an automatic issue for
//     that calendar day get one.
void RunRule(ServerState& state, const RuleParameters& params, RuleKind kind);

}  // namespace fas::rules
