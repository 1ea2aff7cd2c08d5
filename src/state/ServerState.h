#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "db/Database.h"
#include "state/CompanySettings.h"
#include "state/RecipientCache.h"
#include "state/RuleState.h"
#include "state/RunCounters.h"

namespace fas {

// What the command line chose for this process.
struct ServerOptions {
    std::optional<std::filesystem::path> pickupDirectory;  // write .eml files instead of SMTP
    bool dryRun = false;   // the run happens inside a transaction that is rolled back
    bool verbose = false;  // print the per-step report after each run
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
    // The steps performed when a stop request ended the run early.
    std::optional<std::size_t> stoppedAfter;
    void clear() {
        errors.clear();
        steps.clear();
        notificationsQueued = 0;
        stoppedAfter.reset();
    }
    void recordError(std::string message) { errors.push_back(std::move(message)); }
};

// How the service manager takes part in a run: `betweenSteps` is called before each catalog step
// (the watchdog's heartbeat); once `stopRequested` is set, the run ends before its next step, so
// the step in progress is finished, never cut off. The flag is set by the signal watcher thread.
struct RunControl {
    std::function<void()> betweenSteps;
    std::atomic<bool> stopRequested{false};
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
};

}  // namespace fas
