// Feeds arbitrary statement texts to the T-SQL dialect layer of the embedded engine. Whatever
// the text, the translation returns, is the same every time, does not run away in size, and
// keeps every string literal (but a blank one, which a comparison may shorten to '') and quoted
// name as written, in order, each still a literal of its own.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "Fuzz.h"
#include "db/TsqlDialect.h"
#include "db/TsqlTokenizer.h"

namespace fas::fuzz {

using db::TsqlTokenKind;

// '' or '   ': compared with a column, it is compared as SQL Server pads texts (as '').
bool blankLiteral(std::string_view text) {
    return text.size() >= 2 && text.front() == '\'' &&
           text.find_first_not_of(' ', 1) == text.size() - 1;
}

long literals(const std::vector<db::TsqlToken>& tokens) {
    return std::count_if(tokens.begin(), tokens.end(),
                         [](const auto& t) { return t.kind == TsqlTokenKind::String; });
}

void check(std::string_view sql) {
    const std::string translated = db::translateTsql(sql);
    if (db::translateTsql(sql) != translated || translated.size() > 8 * sql.size() + 256) {
        fail("the translation changes from call to call or grows out of proportion", translated);
    }
    const auto tokens = db::tokenizeTsql(sql);
    // A text that ends inside a literal, quoted name or comment swallows what is put after it.
    if (db::tokenizeTsql(std::string(sql) + " x").size() != tokens.size() + 2) {
        return;
    }
    std::size_t from = 0;
    for (const auto& t : tokens) {
        if ((t.kind == TsqlTokenKind::String &&
             !blankLiteral(sql.substr(t.begin, t.end - t.begin))) ||
            t.kind == TsqlTokenKind::QuotedName) {
            std::string_view kept = sql.substr(t.begin, t.end - t.begin);
            kept.remove_prefix(t.kind == TsqlTokenKind::String && kept[0] != '\'' ? 1 : 0);
            from = translated.find(kept, from);
            if (from == std::string::npos) {
                fail("a literal or quoted name is missing from the translation", translated);
            }
            from += kept.size();
        }
    }
    if (literals(db::tokenizeTsql(translated)) < literals(tokens)) {
        fail("two literals of the statement ran together in the translation", translated);
    }
}

}  // namespace fas::fuzz
