#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "db/Database.h"
#include "state/CompanySettings.h"
#include "state/RunCounters.h"
#include "state/RuleState.h"

namespace fas {

// What the command line chose for this process.
struct ServerOptions {
    std::optional<std::filesystem::path> pickupDirectory;  // write .eml files instead of SMTP
    bool dryRun = false;
    bool verbose = false;
};

// What went wrong in the current run; the results line and standard error report it.
struct RunReport {
    std::vector<std::string> errors;
    void clear() { errors.clear(); }
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
    ServerOptions options;
};

}  // namespace fas
