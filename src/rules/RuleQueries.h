#pragma once

#include <string>

#include "state/RuleState.h"

namespace fas::rules {

// The three rules that turn due dates into notifications and issues share one processor; they
// differ only in where their rows come from and how a row is told.
enum class RuleKind {
    DateExpiry,      // a date column of an item table that belongs to a contract
    TrainingExpiry,  // training records, with their driver and topic joined
    ContractDate,    // a date column of the service contract itself
};

// The row queries of a rule. Table, Field, DescriptionExpr and Condition are fixed catalog texts
// and are part of the statement; every value is a '?' placeholder:
//  - auto-close: Item, issue limit
//  - notification: Category, Item, notify limit
//  - issue: Item, issue limit
std::string AutoCloseQuery(RuleKind kind, const RuleParameters& p);
std::string NotificationQuery(RuleKind kind, const RuleParameters& p);
std::string IssueQuery(RuleKind kind, const RuleParameters& p);

}  // namespace fas::rules
