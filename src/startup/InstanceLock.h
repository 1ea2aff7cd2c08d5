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

// One server per database: an exclusive flock() on a file named after the database, in
// InstanceLockDirectory(). Servers of different databases run side by side. The system releases the
// lock when the process ends, however it ends.
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

// The runtime directory the packaged service shares between its instances.
inline constexpr const char* kServiceRuntimeDirectory = "/run/automation-server";

// Where lock files live: the service's runtime directory when systemd names one
// ($RUNTIME_DIRECTORY); otherwise kServiceRuntimeDirectory when it exists, so that a copy started
// by hand on a machine running the service meets the service's lock; otherwise the temporary
// directory.
std::filesystem::path InstanceLockDirectory();

// The lock file of a database: <lock directory>/automation-server-<hash of the key>.lock.
std::filesystem::path InstanceLockFile(std::string_view location,
                                       const std::filesystem::path& baseDirectory);

}  // namespace fas::startup
