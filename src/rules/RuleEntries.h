#pragma once

#include "state/ServerState.h"

namespace fas::rules {

// The rule processors the catalog calls. Each takes the catalog's six texts.

// Dates of items that belong to a contract (vehicles, drivers, tests, documents, issues).
void RunDateExpiryRule(ServerState& state, const RuleParameters& params);

// Training records, told by one expiry sentence.
void RunTrainingExpiryRule(ServerState& state, const RuleParameters& params);

// Dates held on the service contract itself.
void RunContractDateRule(ServerState& state, const RuleParameters& params);

}  // namespace fas::rules
