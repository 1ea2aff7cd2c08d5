#include "mail/MessageSizeSetting.h"

#include <charconv>
#include <cstdlib>
#include <string>
#include <string_view>

#include "mail/MailErrors.h"

namespace fas::mail {

std::size_t MaxMessageBytesSetting() {
    const char* given = std::getenv(kMaxMessageBytesVariable);
    if (given == nullptr || *given == '\0') {
        return kDefaultMaxMessageBytes;
    }
    const std::string_view text(given);
    std::size_t bytes = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), bytes);
    // A message must hold its headers and a row or two.
    if (error != std::errc() || end != text.data() + text.size() || bytes < 1000 ||
        bytes > 2'000'000'000) {
        throw MailUnavailable(std::string(kMaxMessageBytesVariable) +
                              " must be a whole number of bytes from 1000 to 2000000000, not '" +
                              std::string(text) + "'");
    }
    return bytes;
}

}  // namespace fas::mail
