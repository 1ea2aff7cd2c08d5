#include "platform/SingleCopyLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace fas::platform {

namespace {

// The runtime directory the packaged service shares between its instances.
constexpr const char* kServiceRuntimeDirectory = "/run/automation-server";

// The service's runtime directory when systemd names one ($RUNTIME_DIRECTORY); otherwise the
// packaged one when it exists, so that a copy started by hand on a machine running the service
// meets the service's lock; otherwise the temporary directory.
std::filesystem::path lockDirectory() {
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
    return error ? std::filesystem::path("/tmp") : directory;
}

std::string systemError(const char* what, const std::string& file) {
    return std::string("Cannot ") + what + " the single-copy lock file " + file + ": " +
           std::strerror(errno);
}

}  // namespace

struct SingleCopyLock::Held {
    int fd = -1;
    std::string place;
    ~Held() {
        // The file stays: removing it would let a third copy lock a new file while a second
        // still waits on the old one.
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

SingleCopyLock::SingleCopyLock(std::unique_ptr<Held> held) : held_(std::move(held)) {}
SingleCopyLock::SingleCopyLock(SingleCopyLock&&) noexcept = default;
SingleCopyLock& SingleCopyLock::operator=(SingleCopyLock&&) noexcept = default;
SingleCopyLock::~SingleCopyLock() = default;

namespace {

std::string lockPlace(const std::string& name) {
    return (lockDirectory() / (name + ".lock")).string();
}

}  // namespace

std::optional<SingleCopyLock> SingleCopyLock::acquire(const std::string& name) {
    auto held = std::make_unique<Held>();
    held->place = lockPlace(name);
    held->fd = ::open(held->place.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (held->fd < 0 && errno == EACCES) {
        // Left by a copy run by another user: a read-only descriptor locks just as well.
        held->fd = ::open(held->place.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (held->fd < 0) {
        throw SingleCopyLockError(systemError("create", held->place));
    }
    if (::flock(held->fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            return std::nullopt;
        }
        throw SingleCopyLockError(systemError("lock", held->place));
    }
    // The holder's process id, for a person looking at the file; the lock itself is the flock.
    if (::ftruncate(held->fd, 0) == 0) {
        const std::string pid = std::to_string(::getpid()) + "\n";
        [[maybe_unused]] const auto written = ::write(held->fd, pid.data(), pid.size());
    }
    return SingleCopyLock(std::move(held));
}

}  // namespace fas::platform
