#include "tasks/RuleCatalog.h"

#include <string>

#include "housekeeping/ClosingPasses.h"
#include "mail/DispatchOutbox.h"
#include "rules/RuleEntries.h"
#include "state/StepUnit.h"
#include "tasks/CatalogTable.h"

namespace fas::tasks {
namespace {

using Entry = void (*)(ServerState&, const RuleParameters&);
using Pass = void (*)(ServerState&);

// Rules and closing passes write as one unit per step (see InStepUnit).
TaskStep withParameters(const CatalogEntry& entry, Entry entryPoint) {
    const RuleParameters params = entry.params;
    return TaskStep{"step " + std::to_string(entry.step) + " (" + processorName(entry.processor) +
                        ", " + entry.params.Item + ")",
                    [entryPoint, params](ServerState& state) {
                        InStepUnit(state, [&] { entryPoint(state, params); });
                    }};
}

TaskStep withoutParameters(const CatalogEntry& entry, Pass pass) {
    return TaskStep{
        "step " + std::to_string(entry.step) + " (" + processorName(entry.processor) + ")",
        [pass](ServerState& state) { InStepUnit(state, [&] { pass(state); }); }};
}

// The dispatch marks each message sent the moment the server took it: a unit around it would
// let a lost connection undo marks of messages already out, and send them again.
TaskStep dispatchStep(const CatalogEntry& entry) {
    return TaskStep{
        "step " + std::to_string(entry.step) + " (" + processorName(entry.processor) + ")",
        [](ServerState& state) { mail::DispatchOutbox(state); }};
}

TaskStep toTask(const CatalogEntry& entry) {
    switch (entry.processor) {
        case Processor::DateExpiryRule:
            return withParameters(entry, &rules::RunDateExpiryRule);
        case Processor::CloseExcludedIssues:
            return withParameters(entry, &housekeeping::CloseExcludedIssues);
        case Processor::CloseResolvedIssues:
            return withParameters(entry, &housekeeping::CloseResolvedIssues);
        case Processor::ContractDateRule:
            return withParameters(entry, &rules::RunContractDateRule);
        case Processor::TrainingExpiryRule:
            return withParameters(entry, &rules::RunTrainingExpiryRule);
        case Processor::CloseAgedSafetyScoreIssues:
            return withoutParameters(entry, &housekeeping::CloseAgedSafetyScoreIssues);
        case Processor::CloseOrphanedIssues:
            return withoutParameters(entry, &housekeeping::CloseOrphanedIssues);
        case Processor::CloseDuplicateIssues:
            return withoutParameters(entry, &housekeeping::CloseDuplicateIssues);
        case Processor::DispatchOutbox:
            return dispatchStep(entry);
    }
    return {};
}

TaskList build() {
    TaskList steps;
    for (const CatalogEntry& entry : CatalogTable()) {
        steps.push_back(toTask(entry));
    }
    return steps;
}

}  // namespace

const TaskList& RuleCatalog() {
    static const TaskList steps = build();
    return steps;
}

}  // namespace fas::tasks
