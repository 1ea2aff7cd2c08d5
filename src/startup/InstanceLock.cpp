#include "startup/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "db/Connection.h"
#include "db/Database.h"

namespace fas::startup {

namespace {

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

// Splits "Key=Value;Key={va;lue}" into its parts; braces keep their semicolons.
std::vector<std::string> connectionStringParts(std::string_view text) {
    std::vector<std::string> parts;
    std::string current;
    bool inBraces = false;
    for (const char c : text) {
        if (c == '{') {
            inBraces = true;
        } else if (c == '}') {
            inBraces = false;
        }
        if (c == ';' && !inBraces) {
            parts.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    parts.push_back(current);
    return parts;
}

std::string odbcKey(std::string_view location) {
    static const std::set<std::string> kIdentifying = {
        "server", "address", "addr", "network address", "database", "dsn", "filedsn"};
    const std::string converted = db::toOdbcConnectionString(location);
    std::set<std::string> kept;
    std::set<std::string> all;
    for (const auto& part : connectionStringParts(converted)) {
        const auto equals = part.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string key = lowered(trimmed(part.substr(0, equals)));
        const std::string value = lowered(trimmed(part.substr(equals + 1)));
        if (key.empty()) {
            continue;
        }
        if (key != "pwd" && key != "password") {
            all.insert(key + "=" + value);
        }
        if (kIdentifying.count(key) != 0) {
            kept.insert(key + "=" + value);
        }
    }
    const auto& chosen = kept.empty() ? all : kept;
    std::string key = "odbc:";
    for (const auto& part : chosen) {
        key += part + ";";
    }
    return chosen.empty() ? "odbc:" + lowered(trimmed(converted)) : key;
}

std::uint64_t fnv1a(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    return hash;
}

std::string systemError(const char* what, const std::filesystem::path& file) {
    return std::string("Cannot ") + what + " the single-copy lock file " + file.string() + ": " +
           std::strerror(errno);
}

}  // namespace

std::string NormalisedDatabaseKey(std::string_view location,
                                  const std::filesystem::path& baseDirectory) {
    if (const auto file = db::sqlitePathOf(location, baseDirectory)) {
        std::error_code error;
        auto canonical = std::filesystem::weakly_canonical(std::filesystem::absolute(*file), error);
        if (error) {
            canonical = std::filesystem::absolute(*file).lexically_normal();
        }
        return "sqlite:" + canonical.string();
    }
    return odbcKey(location);
}

std::filesystem::path InstanceLockFile(std::string_view location,
                                       const std::filesystem::path& baseDirectory) {
    std::array<char, 17> hex{};
    std::snprintf(
        hex.data(), hex.size(), "%016llx",
        static_cast<unsigned long long>(fnv1a(NormalisedDatabaseKey(location, baseDirectory))));
    return InstanceLockDirectory() / ("automation-server-" + std::string(hex.data()) + ".lock");
}

std::filesystem::path InstanceLockDirectory() {
    if (const char* runtime = std::getenv("RUNTIME_DIRECTORY"); runtime != nullptr && *runtime) {
        // A unit with several runtime directories gets them separated by colons.
        const std::string_view list(runtime);
        return std::filesystem::path(list.substr(0, list.find(':')));
    }
    std::error_code error;
    if (std::filesystem::is_directory(kServiceRuntimeDirectory, error)) {
        return kServiceRuntimeDirectory;
    }
    auto directory = std::filesystem::temp_directory_path(error);
    if (error) {
        directory = "/tmp";
    }
    return directory;
}

std::optional<InstanceLock> InstanceLock::acquire(std::string_view location,
                                                  const std::filesystem::path& baseDirectory) {
    auto file = InstanceLockFile(location, baseDirectory);
    int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EACCES) {
        // Left by a copy run by another user: a read-only descriptor locks just as well.
        fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) {
        throw InstanceLockError(systemError("create", file));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno;
        ::close(fd);
        if (reason == EWOULDBLOCK) {
            return std::nullopt;
        }
        errno = reason;
        throw InstanceLockError(systemError("lock", file));
    }
    // The holder's process id, for a person looking at the file; the lock itself is the flock.
    if (::ftruncate(fd, 0) == 0) {
        const std::string pid = std::to_string(::getpid()) + "\n";
        [[maybe_unused]] const auto written = ::write(fd, pid.data(), pid.size());
    }
    return InstanceLock(fd, std::move(file));
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept
    : fd_(other.fd_), file_(std::move(other.file_)) {
    other.fd_ = -1;
}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = other.fd_;
        file_ = std::move(other.file_);
        other.fd_ = -1;
    }
    return *this;
}

InstanceLock::~InstanceLock() {
    release();
}

void InstanceLock::release() noexcept {
    if (fd_ >= 0) {
        // The file stays: removing it would let a third copy lock a new file while a second
        // still waits on the old one.
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace fas::startup
