// Feeds arbitrary statement texts to the T-SQL dialect layer of the embedded engine. Whatever
// the text, the translation returns (no exception, no runaway growth), gives the same result
// every time, keeps every string literal and quoted name as written and in order, and leaves a
// statement without any construct it rewrites byte for byte as it was.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "db/TsqlDialect.h"
#include "db/TsqlTokenizer.h"

namespace fas::fuzz {
namespace {

using db::TsqlToken;
using db::TsqlTokenKind;

[[noreturn]] void fail(const char* what, std::string_view detail = {}) {
    std::fprintf(stderr, "T-SQL dialect: %s\n%.*s\n", what, static_cast<int>(detail.size()),
                 detail.data());
    std::abort();
}

std::string_view textOf(std::string_view sql, const TsqlToken& token) {
    return sql.substr(token.begin, token.end - token.begin);
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

// Whether the layer has anything to rewrite in the text: a + , an N'...' literal, or one of
// the words it looks at.
bool hasRewritableConstruct(std::string_view sql, const std::vector<TsqlToken>& tokens) {
    static constexpr std::string_view kWords[] = {"TOP",     "ISNULL",  "LEFT",     "RIGHT",
                                                  "CONVERT", "DATEADD", "DATEDIFF", "UPDATE"};
    return std::any_of(tokens.begin(), tokens.end(), [&](const TsqlToken& token) {
        const std::string_view text = textOf(sql, token);
        switch (token.kind) {
            case TsqlTokenKind::Plus:
                return true;
            case TsqlTokenKind::String:
                return text.front() != '\'';
            case TsqlTokenKind::Name:
                return std::any_of(std::begin(kWords), std::end(kWords),
                                   [&](std::string_view word) { return equalsNoCase(word, text); });
            default:
                return false;
        }
    });
}

// A literal, quoted name or block comment the text ends inside of: the engine refuses such a
// statement whatever the layer does, and what the layer appends lands inside the open token.
bool isUnterminated(std::string_view sql, const TsqlToken& token) {
    std::string_view text = textOf(sql, token);
    switch (token.kind) {
        case TsqlTokenKind::String:
        case TsqlTokenKind::QuotedName: {
            if (text.front() == 'N' || text.front() == 'n') {
                text.remove_prefix(1);
            }
            if (text.front() == '[') {
                return text.size() < 2 || text.back() != ']';
            }
            // Closed, a quoted token holds its quote character an even number of times:
            // the two around it and the doubled ones inside.
            return text.size() < 2 || std::count(text.begin(), text.end(), text.front()) % 2 != 0;
        }
        case TsqlTokenKind::Comment:
            return text.starts_with("/*") && (text.size() < 4 || !text.ends_with("*/"));
        default:
            return false;
    }
}

void checkInput(std::string_view sql) {
    std::string translated;
    try {
        translated = db::translateTsql(sql);
        if (db::translateTsql(sql) != translated) {
            fail("two translations of the same text differ", sql);
        }
    } catch (const std::exception& e) {
        fail("the translation threw", e.what());
    }

    // Each rewrite adds a few bytes at most; the texts are short, so a generous linear bound
    // tells runaway growth from honest edits.
    if (translated.size() > 8 * sql.size() + 256) {
        fail("the translation grew out of proportion", translated);
    }

    const std::vector<TsqlToken> tokens = db::tokenizeTsql(sql);
    if (!hasRewritableConstruct(sql, tokens) && translated != sql) {
        fail("a text without T-SQL constructs was changed", translated);
    }

    if (std::any_of(tokens.begin(), tokens.end(),
                    [&](const TsqlToken& token) { return isUnterminated(sql, token); })) {
        return;
    }

    // Literals and quoted names are never touched: each stands in the translation, in the same
    // order (N'...' without its N, the engine's texts being Unicode anyway).
    std::size_t from = 0;
    for (const TsqlToken& token : tokens) {
        if (token.kind != TsqlTokenKind::String && token.kind != TsqlTokenKind::QuotedName) {
            continue;
        }
        std::string_view kept = textOf(sql, token);
        if (token.kind == TsqlTokenKind::String && kept.front() != '\'') {
            kept.remove_prefix(1);
        }
        const std::size_t at = translated.find(kept, from);
        if (at == std::string::npos) {
            fail("a literal or quoted name is missing from the translation",
                 std::string(kept) + "\n--- translation:\n" + translated);
        }
        from = at + kept.size();
    }

    // ... and each is still a literal of its own, not run together with a neighbour.
    const auto literals = [](const std::vector<TsqlToken>& cut) {
        return std::count_if(cut.begin(), cut.end(), [](const TsqlToken& token) {
            return token.kind == TsqlTokenKind::String;
        });
    };
    if (literals(db::tokenizeTsql(translated)) < literals(tokens)) {
        fail("the translation has fewer string literals than the statement", translated);
    }
}

}  // namespace
}  // namespace fas::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fas::fuzz::checkInput(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
