#include "mail/PickupDirectoryTransport.h"

#include <cstdio>
#include <ctime>
#include <random>

#include "mail/MailErrors.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Process.h"

namespace fas::mail {

namespace {

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path,
                       const std::string& reason) {
    throw MailUnavailable("Cannot write to the pickup directory: " + what + " '" +
                          platform::PathText(path) + "': " + reason);
}

// Writes the whole text to a file that must not exist yet.
void writeNewFile(const std::filesystem::path& path, const std::string& text) {
    if (const auto error = platform::WriteNewFile(path, text); !error.empty()) {
        fail("writing", path, error);
    }
}

}  // namespace

PickupDirectoryTransport::PickupDirectoryTransport(std::filesystem::path directory)
    : directory_(std::move(directory)) {
    std::error_code error;
    std::filesystem::create_directories(directory_, error);
    if (error || !std::filesystem::is_directory(directory_)) {
        throw MailUnavailable("Cannot use the pickup directory '" + platform::PathText(directory_) +
                              "': " + (error ? error.message() : "not a directory"));
    }
}

std::string PickupDirectoryTransport::checkDelivery() {
    const auto probe =
        directory_ / (".write-check-" + std::to_string(platform::ProcessId()) + ".partial");
    writeNewFile(probe, "");
    std::error_code ignored;
    std::filesystem::remove(probe, ignored);
    return "messages are written to the pickup directory " + platform::PathText(directory_);
}

DeliveryResult PickupDirectoryTransport::deliver(const OutgoingMessage& message) {
    const std::string text = composeMessage(message, stamper_.stamp(message.senderAddress));

    // Time first, so a directory listing shows the messages in the order they were written.
    const std::time_t now = std::time(nullptr);
    const std::tm local = platform::LocalTimeOf(now).fields;
    char name[96];
    std::snprintf(name, sizeof name, "%04d%02d%02d-%02d%02d%02d-%ld-%06llu-%08x",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, platform::ProcessId(),
                  static_cast<unsigned long long>(++written_),
                  static_cast<unsigned>(std::random_device{}()));
    const auto partial = directory_ / (std::string(".") + name + ".partial");
    const auto final = directory_ / (std::string(name) + ".eml");
    writeNewFile(partial, text);
    // The name is unique to this process and message; the rename makes the file appear whole.
    if (const auto error = platform::MoveIntoPlace(partial, final); !error.empty()) {
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
        fail("naming", final, error);
    }
    return {};
}

}  // namespace fas::mail
