#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fas::mail {

// The addresses of a recipient text: split at every ";", each piece trimmed of blanks, empty
// pieces skipped ("A; B", "A;;B" and "A;" all give A and B or A).
std::vector<std::string> splitRecipientText(std::string_view recipientText);

// Whether an address can go into an SMTP command and a header unchanged: local@domain with a
// dot-atom local part and a domain of letters, digits and hyphens between dots.
bool isUsableAddress(std::string_view address);

// Whether a domain is letters, digits and hyphens between dots.
bool isUsableDomain(std::string_view domain);

// The domain after the last "@", or empty when the address has none.
std::string_view addressDomain(std::string_view address);

}  // namespace fas::mail
