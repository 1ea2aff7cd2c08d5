#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fas::mail {

// Header values are built so that no text can start a header of its own: line breaks and
// other control characters in a value become blanks, and long values are folded with CR LF
// followed by a blank.

// "Subject: ..." style field: the value as it stands when it is printable ASCII (folded at
// blanks), otherwise RFC 2047 encoded words (UTF-8, base64). Returns the whole field without
// its final CR LF.
std::string unstructuredField(std::string_view name, std::string_view value);

// "From: ..." with one mailbox: "Display Name" <address> (the name quoted, or encoded when not
// ASCII), or the bare address when the name is empty. The address must be usable.
std::string mailboxField(std::string_view name, std::string_view displayName,
                         std::string_view address);

// "To: a@x, b@y" folded between addresses. The addresses must be usable.
std::string addressListField(std::string_view name, const std::vector<std::string>& addresses);

}  // namespace fas::mail
