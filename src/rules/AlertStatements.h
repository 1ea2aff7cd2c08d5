#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "db/DateTime.h"
#include "db/Value.h"
#include "state/ServerState.h"

namespace fas::rules {

// Removes every apostrophe; free texts (customer names, descriptions, sentences, bodies) pass
// through it before they are stored, so stored texts keep their known form.
std::string StripApostrophes(std::string_view text);

// Stores the six parameters of a rule or pass into the rule state, before anything else.
void SetRuleParameters(ServerState& state, RuleParameters params);

// Reads the AutomationServer_Alert row of `item` into state.rules.settings, field by field in
// the row's order. No row: nothing changes. A failure part-way leaves the fields read before it
// updated.
void LoadAlertSettings(ServerState& state, const std::string& item);

// Appends the close note, sets the status ("Closed" unless the caller says otherwise), stamps
// EditedBy/EditedDate, and adds one to the issues-closed counter.
void CloseAutoIssue(ServerState& state, std::int64_t issueId);
void CloseAutoIssue(ServerState& state, std::int64_t issueId, std::string_view status);

// The values of one automatic issue; see InsertAutoIssue.
struct NewAutoIssue {
    db::Value contractId;      // the rule row's ContractID
    std::string category;      // the rule's Category parameter
    db::Value itemId;          // the rule row's ID
    std::string itemDesc;      // tmpDescField (apostrophes are removed here)
    db::DateTime issueDate;    // today
    db::DateTime dueDate;      // the row's date; also written into Auto_Date
    std::string description;   // "(AUTO ISSUE) " + sentence (apostrophes are removed here)
};
// Inserts an open automatic issue for the current rule's Item and Priority, then adds one to the
// issues-created counter.
void InsertAutoIssue(ServerState& state, const NewAutoIssue& issue);

// Queues one outbox row from the company's sender; counts nothing.
void QueueNotification(ServerState& state, const std::string& emailTo,
                       const std::string& customerName, const std::string& sentence,
                       const std::string& body);

// Records that the current rule notified an item row for a date (one row per notified item).
void RecordNotification(ServerState& state, const db::Value& itemId, const db::DateTime& itemDate);

}  // namespace fas::rules
