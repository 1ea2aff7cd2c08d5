#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fas::mail {

// The addresses of a recipient text: split at every ";", each piece trimmed of blanks, empty
// pieces skipped ("A; B", "A;;B" and "A;" all give A and B or A).
std::vector<std::string> splitRecipientText(std::string_view recipientText);

// Whether an address can go into an SMTP command and a header unchanged: printable ASCII
// without blanks, angle brackets or other characters that would end the address early.
bool isUsableAddress(std::string_view address);

// The domain after the last "@", or empty when the address has none.
std::string_view addressDomain(std::string_view address);

}  // namespace fas::mail
