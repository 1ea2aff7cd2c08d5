#pragma once

#include <string>
#include <string_view>

namespace fas::startup {

// Text of a file written on Windows, as UTF-8: a UTF-8 byte-order mark is dropped, valid UTF-8
// stays as it is, and anything else is read as the Windows ANSI code page (1252) the program's
// files have always been written in.
std::string ToUtf8(std::string_view text);

}  // namespace fas::startup
