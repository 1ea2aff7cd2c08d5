#include "mail/PickupDirectoryTransport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>

#include "mail/MailErrors.h"

namespace fas::mail {

namespace {

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path, int error) {
    throw MailUnavailable("Cannot write to the pickup directory: " + what + " '" + path.string() +
                          "': " + std::strerror(error));
}

// Writes the whole text to a file that must not exist yet.
void writeNewFile(const std::filesystem::path& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        fail("creating", path, errno);
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            ::close(fd);
            ::unlink(path.c_str());
            fail("writing", path, error);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int error = errno;
        ::unlink(path.c_str());
        fail("writing", path, error);
    }
}

}  // namespace

PickupDirectoryTransport::PickupDirectoryTransport(std::filesystem::path directory)
    : directory_(std::move(directory)) {
    std::error_code error;
    std::filesystem::create_directories(directory_, error);
    if (error || !std::filesystem::is_directory(directory_)) {
        throw MailUnavailable("Cannot use the pickup directory '" + directory_.string() +
                              "': " + (error ? error.message() : "not a directory"));
    }
}

std::string PickupDirectoryTransport::checkDelivery() {
    const auto probe =
        directory_ / (".write-check-" + std::to_string(static_cast<long>(getpid())) + ".partial");
    writeNewFile(probe, "");
    ::unlink(probe.c_str());
    return "messages are written to the pickup directory " + directory_.string();
}

DeliveryResult PickupDirectoryTransport::deliver(const OutgoingMessage& message) {
    const std::string text = composeMessage(message, stamper_.stamp(message.senderAddress));

    // Time first, so a directory listing shows the messages in the order they were written.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char name[96];
    std::snprintf(name, sizeof name, "%04d%02d%02d-%02d%02d%02d-%ld-%06llu-%08x",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, static_cast<long>(getpid()),
                  static_cast<unsigned long long>(++written_),
                  static_cast<unsigned>(std::random_device{}()));
    const auto partial = directory_ / (std::string(".") + name + ".partial");
    const auto final = directory_ / (std::string(name) + ".eml");
    writeNewFile(partial, text);
    // The name is unique to this process and message; the rename makes the file appear whole.
    if (std::rename(partial.c_str(), final.c_str()) != 0) {
        const int error = errno;
        ::unlink(partial.c_str());
        fail("naming", final, error);
    }
    return {};
}

}  // namespace fas::mail
