#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "db/Database.h"
#include "state/CompanySettings.h"
#include "state/DeliveryHolds.h"
#include "state/RecipientCache.h"
#include "state/RuleState.h"
#include "state/RunControl.h"
#include "state/RunCounters.h"

namespace fas {

// What the command line and the environment chose for this process.
struct ServerOptions {
    std::optional<std::filesystem::path> pickupDirectory;  // write .eml files instead of SMTP
    bool dryRun = false;   // the run happens inside a transaction that is rolled back
    bool verbose = false;  // print the per-step report after each run
    // A larger digest goes out as several messages (AUTOMATION_SERVER_MAX_MESSAGE_BYTES).
    std::size_t maxMessageBytes = 10'000'000;
};

// What one catalog step did, for the per-step report.
struct StepReport {
    std::string label;
    int issuesCreated = 0;
    int issuesClosed = 0;
    int notificationsQueued = 0;
    int emailsSent = 0;
    std::vector<std::string> errors;
};

// What the current run did and what went wrong in it; the results line, standard error and the
// per-step report show it.
struct RunReport {
    std::vector<std::string> errors;
    std::vector<StepReport> steps;  // the steps that did anything or failed
    int notificationsQueued = 0;    // outbox rows queued by this run
    // The digests left pending at the end of the dispatch because their recipient text waits
    // after a refusal for good (DeliveryHolds), the one refused in this run included.
    int heldMessages = 0;
    // When a stop request ended the run early: the catalog step it ended in (counting from 1);
    // the steps before it are complete, this one as far as its last whole row or message.
    std::optional<std::size_t> stoppedInStep;
    // Whether the run opened the database: only then do the counters count this run.
    bool databaseOpened = false;
    // The messages the transport took in this run; never undone with a unit, so that a unit
    // that handed one over is not done again.
    int messagesHandedOver = 0;
    // The database undid a dry run's whole transaction to break a deadlock, which ended the run.
    bool dryRunUndone = false;
    void clear() {
        errors.clear();
        steps.clear();
        notificationsQueued = 0;
        heldMessages = 0;
        stoppedInStep.reset();
        databaseOpened = false;
        messagesHandedOver = 0;
        dryRunUndone = false;
    }
    void recordError(std::string message) { errors.push_back(std::move(message)); }
};

// The records that live for the whole process. One object, passed by reference: nothing here is
// reset between rules or runs except what the run itself resets (the counters, the report).
struct ServerState {
    std::string DatabaseLocation;
    std::string CaptionSuffix;
    std::filesystem::path configDirectory;

    db::Database db;
    CompanySettings company;
    RunCounters counters;
    RuleState rules;
    RunReport report;
    RecipientCache recipients;  // per run
    ServerOptions options;
    RunControl control;
    DeliveryHolds holds;
};

}  // namespace fas
