#pragma once

#include <string>
#include <string_view>

namespace fas::mail {

// Quoted-printable body text whose decoding gives back exactly the bytes given: CR LF pairs
// become the line breaks, every other byte that is not plain printable text (a lone CR or LF,
// "=", control characters, UTF-8) is encoded, no line passes 76 characters, and the text always
// ends with a line break (a soft one when the body does not end with CR LF). A "." or "From "
// at the start of a line is encoded too, so neither a dot-stuffing mistake nor an mbox reader
// can alter it.
std::string encodeQuotedPrintable(std::string_view body);

}  // namespace fas::mail
