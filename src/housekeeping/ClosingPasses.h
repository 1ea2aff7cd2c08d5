#pragma once

#include "state/RuleState.h"
#include "state/ServerState.h"

namespace fas::housekeeping {

// The closing passes of the rule catalog. Each lets every error pass to the task run; issues closed
// before an error stay closed.

// Closes the open automatic issues of `params.Item` whose item row of `params.Table` meets
// `params.Condition` (the whole WHERE clause), once the item's alert settings have been looked up
// and only when their AutoCloseIssue allows it. Field, DescriptionExpr and Category are stored but
// not used.
void CloseExcludedIssues(ServerState& state, const RuleParameters& params);

// The same closing as CloseExcludedIssues, whatever the alert settings say: the settings are
// neither read nor changed.
void CloseResolvedIssues(ServerState& state, const RuleParameters& params);

// Open automatic "Safety Score: " issues entered more than 30 days ago (by the database clock)
// become "Non-Resolvable", with the close note, each counted as closed.
void CloseAgedSafetyScoreIssues(ServerState& state);

// Issues of the seven item categories whose item row is gone are set to "Closed": status only,
// whatever their status and author, nothing counted.
void CloseOrphanedIssues(ServerState& state);

// Of each group of open issues with the same ItemID, ItemDesc, ContractID, Category and AUTO_Item,
// every member but the newest is closed with the close note and counted.
void CloseDuplicateIssues(ServerState& state);

}  // namespace fas::housekeeping
