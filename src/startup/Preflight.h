#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "state/ServerState.h"

namespace fas::startup {

// One thing the preflight check found.
struct Finding {
    enum class Level { Ok, Warning, Blocking };
    Level level;
    std::string text;
};

// Checks, without writing anything or sending any message, what a task run needs:
// config.txt, the database, every table and column the catalog's statements use, the Company
// row, an AutomationServer_Alert row for each catalog item that reads one, and the mail server
// (connect, greet, log in, quit; with --pickup-dir the folder instead). Lists, as warnings, the
// recipient texts with outbox rows pending for more than a day.
std::vector<Finding> CheckPreflight(ServerState& state, const std::filesystem::path& configFile);

// Prints one line per finding; the exit status is 0 when nothing blocks a run, 1 otherwise.
int RunPreflight(ServerState& state, const std::filesystem::path& configFile, std::ostream& out);

}  // namespace fas::startup
