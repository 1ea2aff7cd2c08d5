#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace fas::db {

// The lexical pieces of a T-SQL statement, cut the way the embedded engine cuts them, so that
// what the dialect layer takes for a literal or a comment is exactly what the engine will.
enum class TsqlTokenKind {
    Blank,        // spaces, tabs, line breaks
    Comment,      // -- to the end of the line, /* ... */ (unterminated: to the end)
    String,       // '...' with '' inside, N'...' (unterminated: to the end)
    QuotedName,   // "...", [...] or `...` (unterminated: to the end)
    Number,       // 12, 1.5, .5, 1e+5, 0x1F
    Name,         // identifiers and keywords
    Placeholder,  // ?, ?3, :name, @name, $name
    LeftParen,
    RightParen,
    Comma,
    Dot,
    Semicolon,
    Plus,
    Operator,  // any other operator or stray character, one to two bytes
};

struct TsqlToken {
    TsqlTokenKind kind;
    std::size_t begin;  // byte offsets into the statement text
    std::size_t end;
};

// Splits the text into tokens that together cover it byte for byte. Never fails: bytes that
// fit nothing become one-byte operator tokens.
std::vector<TsqlToken> tokenizeTsql(std::string_view sql);

}  // namespace fas::db
