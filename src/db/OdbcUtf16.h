#pragma once

// Texts cross the ODBC boundary as UTF-16 (SQLWCHAR) and are held as UTF-8 everywhere else.
// Malformed input becomes U+FFFD rather than failing: a damaged character must not stop a run.

#include "platform/OdbcApi.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fas::db {

static_assert(sizeof(SQLWCHAR) == 2, "the ODBC backend expects 2-byte SQLWCHAR (UTF-16)");

using OdbcWideText = std::vector<SQLWCHAR>;

namespace odbc_utf16_detail {

constexpr char32_t kReplacement = 0xFFFD;

inline void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

inline void appendUtf16(OdbcWideText& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<SQLWCHAR>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<SQLWCHAR>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<SQLWCHAR>(0xDC00 + (cp & 0x3FF)));
    }
}

// Decodes one UTF-8 sequence at text[pos], advancing pos; U+FFFD for a malformed one.
inline char32_t decodeUtf8(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos++]);
    if (lead < 0x80) {
        return lead;
    }
    std::size_t extra = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        cp = lead & 0x1Fu;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0Fu;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        cp = lead & 0x07u;
        minimum = 0x10000;
    } else {
        return kReplacement;
    }
    for (std::size_t i = 0; i < extra; ++i) {
        if (pos >= text.size() || (static_cast<unsigned char>(text[pos]) & 0xC0) != 0x80) {
            return kReplacement;
        }
        cp = (cp << 6) | (static_cast<unsigned char>(text[pos++]) & 0x3Fu);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return kReplacement;
    }
    return cp;
}

}  // namespace odbc_utf16_detail

inline OdbcWideText toOdbcWide(std::string_view utf8) {
    OdbcWideText out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        odbc_utf16_detail::appendUtf16(out, odbc_utf16_detail::decodeUtf8(utf8, pos));
    }
    return out;
}

inline std::string fromOdbcWide(const SQLWCHAR* text, std::size_t length) {
    std::string out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = odbc_utf16_detail::kReplacement;
        }
        odbc_utf16_detail::appendUtf8(out, cp);
    }
    return out;
}

inline std::string fromOdbcWide(const OdbcWideText& text) {
    return fromOdbcWide(text.data(), text.size());
}

}  // namespace fas::db
