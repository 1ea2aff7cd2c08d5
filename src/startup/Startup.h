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
    BadConfig,            // config.txt missing, unreadable or short
    DatabaseUnreachable,  // the first open of the shared connection failed
    AlreadyRunning,       // another copy serves the same database
    BadCompanySettings,   // the Company row could not be loaded
    LockUnavailable,      // the single-copy lock file could not be used at all
};

struct StartupResult {
    StartupStatus status = StartupStatus::Ready;
    std::string message;               // what went wrong, for a person; empty when Ready
    std::optional<InstanceLock> lock;  // held for the life of the server
};

// Start-up before the window or loop: read config.txt, open the shared connection, refuse to
// serve a database another copy serves, load the company settings, close the connection.
StartupResult StartServer(ServerState& state, const std::filesystem::path& configFile);

// The process exit status of a failed start-up: 3 when another copy runs, otherwise 2.
int ExitStatusOf(StartupStatus status);

}  // namespace fas::startup
