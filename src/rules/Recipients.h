#pragma once

#include <cstdint>
#include <string>

#include "db/Value.h"
#include "state/ServerState.h"

namespace fas::rules {

// The recipient lookups the rule processors make while they walk their rows. Each runs its own
// query, so the rule's own rows are never disturbed. They are kept together so that a per-run
// cache of a contract's addresses can be added in one place.

// The addresses of the contract's specialists in address order, each followed by ";". Empty and
// Null addresses are skipped; no specialist with an address gives empty text.
std::string GetSpecialistEmails(ServerState& state, std::int64_t contractId);

// The client's address of the contract for a category of items (category compared exactly, case
// included). An unlisted category, a missing contract or a Null address gives empty text.
std::string GetClientEmail(ServerState& state, std::int64_t contractId,
                           const std::string& category);

// The category of an issue; a Null category gives empty text, a missing issue gives back the ID
// as text (which matches no client category). The contract is not consulted.
std::string GetIssueCategory(ServerState& state, std::int64_t contractId, std::int64_t issueId);

// The name of a drug and alcohol test type; empty when the ID is Null, matches no type, or the
// name is Null.
std::string GetTestTypeName(ServerState& state, const db::Value& testTypeId);

}  // namespace fas::rules
