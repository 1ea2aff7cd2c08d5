#pragma once

#include <cstdint>
#include <string>

#include "db/DateTime.h"
#include "db/Value.h"

namespace fas {

// The six texts every rule processor and closing pass takes, in this order.
struct RuleParameters {
    std::string Table;
    std::string Field;
    std::string DescriptionExpr;
    std::string Category;
    std::string Item;
    std::string Condition;
};

// The alert settings of the most recent lookup that found a row. Never reset between rules or
// runs: an item without a settings row works with what the previous lookup left.
struct AlertSettings {
    std::string Category;
    db::Value EmailContractManager;     // nullable; Null counts as false
    db::Value EmailContractSpecialist;  // nullable; Null counts as false
    db::Value EmailClient;              // nullable; Null counts as false
    std::int32_t DaysInAdvance = 0;
    db::Value CreateIssue;  // nullable; Null counts as false
    std::int16_t CreateIssueDaysInAdvance = 0;
    db::Value IssuePriority;  // nullable; written as text, Null as ''
    bool AutoCloseIssue = false;
};

// The working state the rule processors and the closing passes share for the whole process.
struct RuleState {
    RuleParameters params;
    AlertSettings settings;
    std::string sql;              // the statement being built or run
    std::string body;             // notification body of the row being notified
    std::string subjectSentence;  // subject sentence of the row being notified
    std::int64_t closeIssueId = 0;
    std::string closeNote;
    std::string closeStatus = "Closed";
};

}  // namespace fas
