#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace fas::startup {

// The lock file could not be created or locked for a reason other than another copy holding it.
class InstanceLockError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One server per database: an exclusive flock() on a file in the temporary directory named after
// the database. Servers of different databases run side by side. The system releases the lock
// when the process ends, however it ends.
class InstanceLock {
  public:
    // The lock for the database `location` (config.txt's connection string; a relative sqlite:
    // path resolves against `baseDirectory`). Nothing when another copy holds it.
    static std::optional<InstanceLock> acquire(std::string_view location,
                                               const std::filesystem::path& baseDirectory);

    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&& other) noexcept;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

    const std::filesystem::path& file() const { return file_; }

  private:
    InstanceLock(int fd, std::filesystem::path file) : fd_(fd), file_(std::move(file)) {}
    void release() noexcept;

    int fd_ = -1;
    std::filesystem::path file_;
};

// What identifies a database whatever way config.txt spells it: for sqlite: the canonical
// absolute path; for a connection string its server, database and data source name (keywords
// without case or blanks, credentials left out), or the whole string when it names none.
std::string NormalisedDatabaseKey(std::string_view location,
                                  const std::filesystem::path& baseDirectory);

// The lock file of a database: <temp>/automation-server-<hash of the key>.lock.
std::filesystem::path InstanceLockFile(std::string_view location,
                                       const std::filesystem::path& baseDirectory);

}  // namespace fas::startup
