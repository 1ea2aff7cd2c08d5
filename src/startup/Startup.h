#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "startup/InstanceLock.h"
#include "state/ServerState.h"

namespace fas::startup {

inline constexpr const char* kAlreadyRunningText = "This application is already running.";
inline constexpr const char* kAlreadyRunningTitle = "Application Already Running";

enum class StartupStatus {
    Ready,                // the server may create its window or loop
    BadConfig,            // config.txt missing, unreadable or short, or a malformed variable
    DatabaseRefused,      // the database cannot be opened until someone changes something
    DatabaseUnavailable,  // the database did not answer or stayed locked: may pass by itself
    AlreadyRunning,       // another copy serves the same database
    BadCompanySettings,   // the Company row could not be loaded
    LockUnavailable,      // the single-copy lock file could not be used at all
};

// The process exit statuses systemd acts on: the units restart on kExitTryLater only.
inline constexpr int kExitNeedsPerson = 2;
inline constexpr int kExitAlreadyRunning = 3;
inline constexpr int kExitTryLater = 75;  // EX_TEMPFAIL

struct StartupResult {
    StartupStatus status = StartupStatus::Ready;
    std::string message;               // what went wrong, for a person; empty when Ready
    std::optional<InstanceLock> lock;  // held for the life of the server
};

// Start-up before the window or loop: read config.txt and the variables read once, open the shared
// connection, refuse to serve a database another copy serves, load the company settings, close the
// connection.
StartupResult StartServer(ServerState& state, const std::filesystem::path& configFile);

// The process exit status of a failed start-up.
int ExitStatusOf(StartupStatus status);

}  // namespace fas::startup
