#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/SingleCopyLock.h"

namespace fas::startup {

// The lock could not be made for a reason other than another copy holding it.
using InstanceLockError = platform::SingleCopyLockError;

// One server per database: the platform's single-copy lock named after the database. Servers of
// different databases run side by side.
class InstanceLock {
  public:
    // The lock for the database `location` (config.txt's connection string; a relative sqlite:
    // path resolves against `baseDirectory`). Nothing when another copy holds it.
    static std::optional<InstanceLock> acquire(std::string_view location,
                                               const std::filesystem::path& baseDirectory);

  private:
    explicit InstanceLock(platform::SingleCopyLock lock) : lock_(std::move(lock)) {}
    platform::SingleCopyLock lock_;
};

// What identifies a database whatever way config.txt spells it: for sqlite: the canonical
// absolute path; for a connection string its server, database and data source name (keywords
// without case or blanks, credentials left out), or the whole string when it names none.
std::string NormalisedDatabaseKey(std::string_view location,
                                  const std::filesystem::path& baseDirectory);

// The lock's name: automation-server-<hash of the key>.
std::string InstanceLockName(std::string_view location, const std::filesystem::path& baseDirectory);

}  // namespace fas::startup
