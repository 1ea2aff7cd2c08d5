#include "db/TsqlTokenizer.h"

namespace fas::db {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Bytes of UTF-8 sequences count as name characters, as the engine counts them.
bool isNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool isNameChar(char c) {
    return isNameStart(c) || isDigit(c) || c == '$';
}

class Scanner {
  public:
    explicit Scanner(std::string_view sql) : sql_(sql) {}

    std::vector<TsqlToken> run() {
        std::vector<TsqlToken> tokens;
        tokens.reserve(sql_.size() / 3 + 1);
        while (pos_ < sql_.size()) {
            const std::size_t start = pos_;
            const TsqlTokenKind kind = next();
            tokens.push_back({kind, start, pos_});
        }
        return tokens;
    }

  private:
    char at(std::size_t i) const { return i < sql_.size() ? sql_[i] : '\0'; }

    // Advances to just past the closing `close`; where `doubled` is set, a doubled closer stands
    // for itself (the engine reads [...] without that escape, so it is cut the same way here).
    void skipQuoted(char close, bool doubled = true) {
        ++pos_;
        while (pos_ < sql_.size()) {
            if (sql_[pos_] == close) {
                if (doubled && at(pos_ + 1) == close) {
                    pos_ += 2;
                    continue;
                }
                ++pos_;
                return;
            }
            ++pos_;
        }
    }

    void skipWhile(bool (*accept)(char)) {
        while (pos_ < sql_.size() && accept(sql_[pos_])) {
            ++pos_;
        }
    }

    TsqlTokenKind number() {
        if (sql_[pos_] == '0' && (at(pos_ + 1) == 'x' || at(pos_ + 1) == 'X') &&
            isHexDigit(at(pos_ + 2))) {
            pos_ += 2;
            skipWhile(isHexDigit);
            return TsqlTokenKind::Number;
        }
        skipWhile(isDigit);
        if (at(pos_) == '.') {
            ++pos_;
            skipWhile(isDigit);
        }
        const char e = at(pos_);
        if (e == 'e' || e == 'E') {
            const char sign = at(pos_ + 1);
            if (isDigit(sign)) {
                pos_ += 1;
                skipWhile(isDigit);
            } else if ((sign == '+' || sign == '-') && isDigit(at(pos_ + 2))) {
                pos_ += 2;
                skipWhile(isDigit);
            }
        }
        return TsqlTokenKind::Number;
    }

    TsqlTokenKind next() {
        const char c = sql_[pos_];
        if (isBlank(c)) {
            skipWhile(isBlank);
            return TsqlTokenKind::Blank;
        }
        if (c == '-' && at(pos_ + 1) == '-') {
            while (pos_ < sql_.size() && sql_[pos_] != '\n') {
                ++pos_;
            }
            return TsqlTokenKind::Comment;
        }
        if (c == '/' && at(pos_ + 1) == '*') {
            const std::size_t close = sql_.find("*/", pos_ + 2);
            pos_ = close == std::string_view::npos ? sql_.size() : close + 2;
            return TsqlTokenKind::Comment;
        }
        if (c == '\'') {
            skipQuoted('\'');
            return TsqlTokenKind::String;
        }
        if ((c == 'N' || c == 'n') && at(pos_ + 1) == '\'') {
            ++pos_;
            skipQuoted('\'');
            return TsqlTokenKind::String;
        }
        if (c == '"') {
            skipQuoted('"');
            return TsqlTokenKind::QuotedName;
        }
        if (c == '[') {
            skipQuoted(']', false);
            return TsqlTokenKind::QuotedName;
        }
        if (c == '`') {
            skipQuoted('`');
            return TsqlTokenKind::QuotedName;
        }
        if (isDigit(c) || (c == '.' && isDigit(at(pos_ + 1)))) {
            return number();
        }
        if (isNameStart(c)) {
            skipWhile(isNameChar);
            return TsqlTokenKind::Name;
        }
        if (c == '?') {
            ++pos_;
            skipWhile(isDigit);
            return TsqlTokenKind::Placeholder;
        }
        if ((c == ':' || c == '@' || c == '$') && isNameChar(at(pos_ + 1))) {
            ++pos_;
            skipWhile(isNameChar);
            return TsqlTokenKind::Placeholder;
        }
        ++pos_;
        switch (c) {
            case '(':
                return TsqlTokenKind::LeftParen;
            case ')':
                return TsqlTokenKind::RightParen;
            case ',':
                return TsqlTokenKind::Comma;
            case '.':
                return TsqlTokenKind::Dot;
            case ';':
                return TsqlTokenKind::Semicolon;
            case '+':
                return TsqlTokenKind::Plus;
            default:
                break;
        }
        const char second = at(pos_);
        const bool pair = (c == '<' && (second == '>' || second == '=' || second == '<')) ||
                          (c == '>' && (second == '=' || second == '>')) ||
                          ((c == '!' || c == '=') && second == '=') || (c == '|' && second == '|');
        if (pair) {
            ++pos_;
        }
        return TsqlTokenKind::Operator;
    }

    std::string_view sql_;
    std::size_t pos_ = 0;
};

}  // namespace

std::vector<TsqlToken> tokenizeTsql(std::string_view sql) {
    return Scanner(sql).run();
}

}  // namespace fas::db
