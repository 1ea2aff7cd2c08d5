#pragma once

#include <array>
#include <cstddef>

#include "state/RuleState.h"

namespace fas::tasks {

// The processors a catalog step can call.
enum class Processor {
    DateExpiryRule,
    CloseExcludedIssues,
    CloseResolvedIssues,
    CloseAgedSafetyScoreIssues,
    ContractDateRule,
    TrainingExpiryRule,
    CloseOrphanedIssues,
    CloseDuplicateIssues,
    DispatchOutbox,
};

const char* processorName(Processor processor);

struct CatalogEntry {
    int step;
    Processor processor;
    RuleParameters params;  // empty for the steps without arguments
};

inline constexpr std::size_t kCatalogSize = 84;

// The fixed, ordered catalog a task run performs.
const std::array<CatalogEntry, kCatalogSize>& CatalogTable();

}  // namespace fas::tasks
