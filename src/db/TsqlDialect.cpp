// The T-SQL dialect layer of the embedded engine. Statements are written once, for SQL Server;
// this rewrites the few constructs the embedded engine reads differently. It works on tokens,
// so string literals, quoted names and comments are never touched, and it keeps every other
// byte of the statement as written.
#include <algorithm>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "db/TsqlDialect.h"
#include "db/TsqlTokenizer.h"

namespace fas::db {
namespace {

using Kind = TsqlTokenKind;

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

// Keywords after which a `+` starts an operand (a sign) instead of joining two.
bool isOperandKeyword(std::string_view word) {
    static constexpr std::string_view kWords[] = {
        "SELECT", "WHERE", "AND",   "OR",     "NOT",    "ON",     "WHEN",   "THEN",    "ELSE",
        "CASE",   "IS",    "LIKE",  "IN",     "BY",     "HAVING", "SET",    "RETURN",  "DISTINCT",
        "ALL",    "TOP",   "LIMIT", "OFFSET", "VALUES", "ESCAPE", "EXISTS", "BETWEEN", "AS"};
    return std::any_of(std::begin(kWords), std::end(kWords),
                       [&](std::string_view w) { return equalsNoCase(w, word); });
}

// Words that end a table reference in a FROM clause instead of naming its alias.
bool isJoinKeyword(std::string_view word) {
    static constexpr std::string_view kWords[] = {"LEFT",  "RIGHT", "INNER", "OUTER", "FULL",
                                                  "CROSS", "JOIN",  "ON",    "WHERE", "WITH",
                                                  "GROUP", "ORDER", "UNION", "USING", "NATURAL"};
    return std::any_of(std::begin(kWords), std::end(kWords),
                       [&](std::string_view w) { return equalsNoCase(w, word); });
}

// A name as the engine compares it: quotes removed.
std::string_view bareName(std::string_view text) {
    if (text.size() >= 2 && (text.front() == '[' || text.front() == '"' || text.front() == '`')) {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

struct Edit {
    std::optional<std::string> replacement;
    std::string before;
    std::string after;
};

// A TOP whose LIMIT still waits for the end of its SELECT.
struct PendingLimit {
    int depth;
    std::string count;
};

// One entry of an UPDATE's FROM clause.
struct TableRef {
    std::size_t table;                 // token index
    std::optional<std::size_t> alias;  // token index
};

class Translator {
  public:
    explicit Translator(std::string_view sql)
        : sql_(sql), tokens_(tokenizeTsql(sql)), edits_(tokens_.size()) {}

    std::string run() {
        std::size_t start = 0;
        for (std::size_t i = 0; i <= tokens_.size(); ++i) {
            if (i == tokens_.size() || tokens_[i].kind == Kind::Semicolon) {
                statement(start, i);
                start = i + 1;
            }
        }
        return render();
    }

  private:
    std::string_view text(std::size_t token) const {
        return sql_.substr(tokens_[token].begin, tokens_[token].end - tokens_[token].begin);
    }

    // The k-th significant token of the current statement, by kind and by word.
    Kind kindAt(std::size_t k) const {
        return k < sig_.size() ? tokens_[sig_[k]].kind : Kind::Blank;
    }
    bool wordAt(std::size_t k, std::string_view word) const {
        return kindAt(k) == Kind::Name && equalsNoCase(text(sig_[k]), word);
    }
    std::string_view textAt(std::size_t k) const { return text(sig_[k]); }

    void replace(std::size_t token, std::string value) {
        edits_[token].replacement = std::move(value);
    }
    // Drops the tokens first..last (token indices), blanks and comments between them included.
    void drop(std::size_t first, std::size_t last) {
        for (std::size_t i = first; i <= last; ++i) {
            replace(i, std::string());
        }
    }

    void statement(std::size_t begin, std::size_t end) {
        sig_.clear();
        for (std::size_t i = begin; i < end; ++i) {
            if (tokens_[i].kind != Kind::Blank && tokens_[i].kind != Kind::Comment) {
                sig_.push_back(i);
            }
        }
        if (sig_.empty()) {
            return;
        }
        int depth = 0;
        pending_.clear();
        numberPlaceholders_ = false;
        for (std::size_t k = 0; k < sig_.size(); ++k) {
            switch (kindAt(k)) {
                case Kind::LeftParen:
                    ++depth;
                    break;
                case Kind::RightParen:
                    closeLimits(depth, k);
                    --depth;
                    break;
                case Kind::Plus:
                    plus(k);
                    break;
                case Kind::String:
                    if (textAt(k).front() != '\'') {
                        // N'...' loses its N; right after another literal a blank keeps the
                        // two apart ('a'N'b' must not become the one literal 'a''b').
                        const std::size_t at = sig_[k];
                        const bool joins = at > 0 && text(at - 1).ends_with('\'');
                        replace(at, (joins ? " " : "") + std::string(textAt(k).substr(1)));
                    }
                    break;
                case Kind::Name:
                    name(k, depth);
                    break;
                case Kind::Operator:
                    blankComparison(k);
                    break;
                default:
                    break;
            }
        }
        for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) {
            edits_[sig_.back()].after += " LIMIT " + it->count;
        }
        if (numberPlaceholders_) {
            numberPlainPlaceholders();
        }
        updateFrom();
    }

    // T-SQL's + joins texts; the engine's + adds numbers and reads 'a'+'b' as 0. A + next to a
    // number literal adds in SQL Server as well, and a leading + is a sign: both stay.
    void plus(std::size_t k) {
        if (k == 0 || kindAt(k + 1) == Kind::Number) {
            return;
        }
        switch (kindAt(k - 1)) {
            case Kind::String:
            case Kind::QuotedName:
            case Kind::Placeholder:
            case Kind::RightParen:
                break;
            case Kind::Name:
                if (isOperandKeyword(textAt(k - 1))) {
                    return;
                }
                break;
            default:
                return;  // a number, an operator, '(' or ',' before it
        }
        replace(sig_[k], "||");
    }

    // SQL Server pads the shorter text with blanks before comparing, so EmailTo <> '' is false
    // for ' '. The engine compares texts as they are: a column compared with a blank literal
    // in a condition is compared without its trailing blanks. Only the comparison is touched,
    // so indexes and the collation stay as the file knows them.
    void blankComparison(std::size_t k) {
        const std::string_view op = textAt(k);
        if ((op != "=" && op != "<>" && op != "!=") || k == 0 || kindAt(k + 1) != Kind::String) {
            return;
        }
        const std::string_view literal = textAt(k + 1);
        if (literal.size() < 2 || literal.front() != '\'' ||
            literal.find_first_not_of(' ', 1) != literal.size() - 1) {
            return;
        }
        std::size_t first = k - 1;
        if (kindAt(first) != Kind::Name && kindAt(first) != Kind::QuotedName) {
            return;
        }
        while (first >= 2 && kindAt(first - 1) == Kind::Dot) {
            first -= 2;
        }
        // Only in a condition: SET EmailTo = '' assigns.
        const bool condition =
            first > 0 &&
            (kindAt(first - 1) == Kind::LeftParen || wordAt(first - 1, "WHERE") ||
             wordAt(first - 1, "AND") || wordAt(first - 1, "OR") || wordAt(first - 1, "NOT") ||
             wordAt(first - 1, "ON") || wordAt(first - 1, "WHEN") || wordAt(first - 1, "HAVING"));
        if (condition) {
            edits_[sig_[first]].before += "rtrim(";
            edits_[sig_[k - 1]].after += ")";
            replace(sig_[k + 1], "''");
        }
    }

    void name(std::size_t k, int depth) {
        const std::string_view word = textAt(k);
        if (equalsNoCase(word, "TOP")) {
            top(k, depth);
            return;
        }
        if (kindAt(k + 1) != Kind::LeftParen || (k > 0 && kindAt(k - 1) == Kind::Dot)) {
            return;
        }
        if (equalsNoCase(word, "ISNULL")) {
            replace(sig_[k], "IFNULL");
        } else if (equalsNoCase(word, "LEFT")) {
            replace(sig_[k], "tsql_left");
        } else if (equalsNoCase(word, "RIGHT")) {
            replace(sig_[k], "tsql_right");
        } else if (equalsNoCase(word, "CONVERT")) {
            convert(k);
        } else if (equalsNoCase(word, "DATEADD") || equalsNoCase(word, "DATEDIFF")) {
            // The date part is a bare word in T-SQL; the registered functions take it as text.
            if (kindAt(k + 2) == Kind::Name && kindAt(k + 3) == Kind::Comma) {
                replace(sig_[k + 2], "'" + std::string(textAt(k + 2)) + "'");
            }
        }
    }

    // CONVERT(VARCHAR(10), x, 101) -> tsql_convert('VARCHAR(10)', x, 101).
    void convert(std::size_t k) {
        const std::size_t first = k + 2;
        if (kindAt(first) != Kind::Name) {
            return;
        }
        std::size_t last = first;
        if (kindAt(first + 1) == Kind::LeftParen) {
            // A length or precision: numbers, MAX and commas only.
            std::size_t j = first + 2;
            while (j < sig_.size() && j < first + 8 &&
                   (kindAt(j) == Kind::Number || kindAt(j) == Kind::Comma ||
                    kindAt(j) == Kind::Name)) {
                ++j;
            }
            if (kindAt(j) != Kind::RightParen) {
                return;
            }
            last = j;
        }
        if (kindAt(last + 1) != Kind::Comma) {
            return;
        }
        std::string type;
        for (std::size_t j = first; j <= last; ++j) {
            type += textAt(j);
        }
        replace(sig_[k], "tsql_convert");
        drop(sig_[first], sig_[last]);
        replace(sig_[first], "'" + type + "'");
    }

    // SELECT TOP n ... -> SELECT ... LIMIT n (n a number or a ?, in parentheses or not).
    void top(std::size_t k, int depth) {
        const bool afterSelect = (k >= 1 && wordAt(k - 1, "SELECT")) ||
                                 (k >= 2 && (wordAt(k - 1, "DISTINCT") || wordAt(k - 1, "ALL")) &&
                                  wordAt(k - 2, "SELECT"));
        if (!afterSelect) {
            return;
        }
        std::size_t count = k + 1;
        std::size_t last = k + 1;
        if (kindAt(k + 1) == Kind::LeftParen && kindAt(k + 3) == Kind::RightParen) {
            count = k + 2;
            last = k + 3;
        }
        if (wordAt(last + 1, "PERCENT") || wordAt(last + 1, "WITH")) {
            return;  // no LIMIT says that; the engine reports the statement
        }
        const Kind kind = kindAt(count);
        if (kind != Kind::Number && kind != Kind::Placeholder) {
            return;
        }
        std::string limit(textAt(count));
        if (kind == Kind::Placeholder) {
            // Moving a ? changes which value it takes unless every ? gets its number.
            if (limit != "?" || !onlyPlainPlaceholders()) {
                return;
            }
            numberPlaceholders_ = true;
            limit += std::to_string(
                std::count_if(sig_.begin(), sig_.begin() + static_cast<std::ptrdiff_t>(count) + 1,
                              [&](std::size_t t) { return tokens_[t].kind == Kind::Placeholder; }));
        }
        pending_.push_back({depth, limit});
        std::size_t lastToken = sig_[last];
        if (lastToken + 1 < tokens_.size() && tokens_[lastToken + 1].kind == Kind::Blank) {
            ++lastToken;
        }
        drop(sig_[k], lastToken);
    }

    // A SELECT with a TOP ends at the ')' closing the parentheses it stands in.
    void closeLimits(int depth, std::size_t k) {
        while (!pending_.empty() && pending_.back().depth == depth) {
            // k > 0: the SELECT holding the TOP stands before this ')'.
            edits_[sig_[k - 1]].after += " LIMIT " + pending_.back().count;
            pending_.pop_back();
        }
    }

    bool onlyPlainPlaceholders() const {
        return std::all_of(sig_.begin(), sig_.end(), [&](std::size_t t) {
            return tokens_[t].kind != Kind::Placeholder || text(t) == "?";
        });
    }

    void numberPlainPlaceholders() {
        int number = 0;
        for (std::size_t t : sig_) {
            if (tokens_[t].kind == Kind::Placeholder && !edits_[t].replacement) {
                replace(t, "?" + std::to_string(number + 1));
            }
            number += tokens_[t].kind == Kind::Placeholder ? 1 : 0;
        }
    }

    // UPDATE T SET ... FROM T LEFT JOIN X ... WHERE c: the engine refuses the target inside its
    // own FROM, so the rows are chosen by a subquery over the same FROM and WHERE:
    // UPDATE T SET ... WHERE rowid IN (SELECT T.rowid FROM T LEFT JOIN X ... WHERE c).
    void updateFrom() {
        if (!wordAt(0, "UPDATE") || (kindAt(1) != Kind::Name && kindAt(1) != Kind::QuotedName) ||
            !wordAt(2, "SET")) {
            return;
        }
        const std::string_view target = bareName(textAt(1));
        std::optional<std::size_t> from;
        int depth = 0;
        for (std::size_t k = 3; k < sig_.size() && !from; ++k) {
            if (kindAt(k) == Kind::LeftParen) {
                ++depth;
            } else if (kindAt(k) == Kind::RightParen) {
                --depth;
            } else if (depth == 0 && wordAt(k, "WHERE")) {
                return;
            } else if (depth == 0 && wordAt(k, "FROM")) {
                from = k;
            }
        }
        if (!from) {
            return;
        }
        const std::vector<TableRef> tables = fromTables(*from + 1);
        const TableRef* match = nullptr;
        for (const TableRef& ref : tables) {
            if (ref.alias && equalsNoCase(bareName(text(*ref.alias)), target)) {
                match = &ref;
                break;
            }
        }
        const bool byAlias = match != nullptr;
        for (const TableRef& ref : tables) {
            if (match == nullptr && equalsNoCase(bareName(text(ref.table)), target)) {
                match = &ref;
            }
        }
        if (match == nullptr) {
            return;  // a target outside the FROM: the engine's own UPDATE ... FROM fits
        }
        unqualifySetTargets(target, *from);
        const std::string_view qualifier = match->alias ? text(*match->alias) : text(match->table);
        if (byAlias) {
            replace(sig_[1], std::string(text(match->table)) + " AS " + std::string(qualifier));
        }
        edits_[sig_[*from]].before +=
            "WHERE rowid IN (SELECT " + std::string(qualifier) + ".rowid ";
        edits_[sig_.back()].after += ")";
    }

    // The table references of a FROM clause starting at significant token k.
    std::vector<TableRef> fromTables(std::size_t k) const {
        std::vector<TableRef> tables;
        bool expectTable = true;
        int depth = 0;
        for (; k < sig_.size(); ++k) {
            const Kind kind = kindAt(k);
            if (kind == Kind::LeftParen) {
                ++depth;
                expectTable = false;  // a derived table is never the target
                continue;
            }
            if (kind == Kind::RightParen) {
                --depth;
                continue;
            }
            if (depth != 0) {
                continue;
            }
            if (wordAt(k, "WHERE")) {
                break;
            }
            if (kind == Kind::Comma || wordAt(k, "JOIN")) {
                expectTable = true;
                continue;
            }
            if (!expectTable || (kind != Kind::Name && kind != Kind::QuotedName)) {
                continue;
            }
            expectTable = false;
            while (kindAt(k + 1) == Kind::Dot &&
                   (kindAt(k + 2) == Kind::Name || kindAt(k + 2) == Kind::QuotedName)) {
                k += 2;  // schema-qualified: the last part names the table
            }
            TableRef ref{sig_[k], std::nullopt};
            std::size_t next = k + 1;
            if (wordAt(next, "AS")) {
                ++next;
            }
            if (kindAt(next) == Kind::QuotedName ||
                (kindAt(next) == Kind::Name && !isJoinKeyword(textAt(next)))) {
                ref.alias = sig_[next];
                k = next;
            }
            tables.push_back(ref);
        }
        return tables;
    }

    // SET T.a = ... -> SET a = ...: the engine takes no qualified name on the left of SET.
    void unqualifySetTargets(std::string_view target, std::size_t from) {
        int depth = 0;
        for (std::size_t k = 3; k < from; ++k) {
            if (kindAt(k) == Kind::LeftParen) {
                ++depth;
            } else if (kindAt(k) == Kind::RightParen) {
                --depth;
            }
            const bool startsAssignment = k == 3 || (depth == 0 && kindAt(k - 1) == Kind::Comma);
            if (startsAssignment && kindAt(k + 1) == Kind::Dot &&
                (kindAt(k) == Kind::Name || kindAt(k) == Kind::QuotedName) &&
                equalsNoCase(bareName(textAt(k)), target)) {
                drop(sig_[k], sig_[k + 1]);
            }
        }
    }

    std::string render() const {
        std::string out;
        out.reserve(sql_.size() + sql_.size() / 8 + 16);
        for (std::size_t i = 0; i < tokens_.size(); ++i) {
            const Edit& edit = edits_[i];
            out += edit.before;
            if (edit.replacement) {
                out += *edit.replacement;
            } else {
                out += text(i);
            }
            out += edit.after;
        }
        return out;
    }

    std::string_view sql_;
    std::vector<TsqlToken> tokens_;
    std::vector<Edit> edits_;
    std::vector<std::size_t> sig_;  // significant tokens of the current statement
    std::vector<PendingLimit> pending_;
    bool numberPlaceholders_ = false;
};

}  // namespace

std::string translateTsql(std::string_view sql) {
    return Translator(sql).run();
}

}  // namespace fas::db
