#pragma once

// Values the ODBC backend receives as text or bytes and hands on in the facade's forms.

#include <charconv>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "db/Value.h"

namespace fas::db {

// Decimal and numeric values arrive as text: an integer when the scale is 0 and it fits, else a
// floating value. std::from_chars ignores the process locale, unlike strtod.
inline Value decimalValue(std::string_view text, int scale) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (scale == 0) {
        long long integer = 0;
        const auto [end, ec] = std::from_chars(first, last, integer);
        if (ec == std::errc() && end == last) {
            return Value(integer);
        }
    }
    double real = 0;
    const auto [end, ec] = std::from_chars(first, last, real);
    if (ec == std::errc() && end == last) {
        return Value(real);
    }
    return Value(std::string(text));
}

// Binary columns as "0x" and upper-case hex digits, as SQL Server writes them.
inline std::string hexText(const std::vector<unsigned char>& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out = "0x";
    out.reserve(2 + bytes.size() * 2);
    for (unsigned char b : bytes) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 0x0F]);
    }
    return out;
}

}  // namespace fas::db
