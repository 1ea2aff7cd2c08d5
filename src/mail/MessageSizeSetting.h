#pragma once

#include <cstddef>

namespace fas::mail {

inline constexpr const char* kMaxMessageBytesVariable = "AUTOMATION_SERVER_MAX_MESSAGE_BYTES";
// The smallest limit common relays set.
inline constexpr std::size_t kDefaultMaxMessageBytes = 10'000'000;

// The largest message the dispatcher composes, from AUTOMATION_SERVER_MAX_MESSAGE_BYTES (the
// default when unset or empty). Throws MailUnavailable naming the variable when its value is not
// a whole number of bytes from 1000 to 2000000000.
std::size_t MaxMessageBytesSetting();

}  // namespace fas::mail
