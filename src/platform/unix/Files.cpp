#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace fas::platform {

std::string ComparablePathText(const std::filesystem::path& file) {
    return PathText(file);
}

std::string WriteNewFile(const std::filesystem::path& file, const std::string& text) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return std::strerror(errno);
    }
    // Whatever the service's umask: node_exporter and mail pickers are other users.
    int error = ::fchmod(fd, 0644) == 0 ? 0 : errno;
    for (std::size_t done = 0; error == 0 && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (error == 0 && ::fsync(fd) != 0) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(file.c_str());
        return std::strerror(error);
    }
    return {};
}

std::string MoveIntoPlace(const std::filesystem::path& replacement,
                          const std::filesystem::path& file) {
    if (::rename(replacement.c_str(), file.c_str()) != 0) {
        return std::strerror(errno);
    }
    return {};
}

}  // namespace fas::platform
