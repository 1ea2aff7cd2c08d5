#include "rules/RuleEntries.h"

#include "rules/RuleProcessor.h"

namespace fas::rules {

void RunDateExpiryRule(ServerState& state, const RuleParameters& params) {
    RunRule(state, params, RuleKind::DateExpiry);
}

void RunTrainingExpiryRule(ServerState& state, const RuleParameters& params) {
    RunRule(state, params, RuleKind::TrainingExpiry);
}

void RunContractDateRule(ServerState& state, const RuleParameters& params) {
    RunRule(state, params, RuleKind::ContractDate);
}

}  // namespace fas::rules
