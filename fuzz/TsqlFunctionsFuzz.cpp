// Calls the T-SQL functions registered on the embedded engine with arbitrary arguments, and
// reads arbitrary date texts. Input, one item a line:
//   DATEADD | DATEDIFF | CONVERT | LEFT | RIGHT | PARSE     the function
//   t<text> | i<integer> | f<real> | n | b<bytes>          one argument each, bound as that type
// (for PARSE, everything after the first line is the date text). Beyond running cleanly:
//  - an error names the function, so a person can tell which call of a statement failed;
//  - DATEDIFF(p, d, DATEADD(p, n, d)) = n for every date part, and DATEDIFF(p, a, b) =
//    -DATEDIFF(p, b, a): adding and counting agree;
//  - LEFT/RIGHT return that many characters from that end of the text;
//  - CONVERT to a text type with a length never returns more characters;
//  - a date that reads reads again the same from the form the engine stores and from the date
//    text people read.
#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "db/DateTime.h"
#include "db/TsqlDialect.h"

namespace fas::fuzz {
namespace {

[[noreturn]] void fail(const char* what, std::string_view detail = {}) {
    std::fprintf(stderr, "T-SQL functions: %s\n%.*s\n", what, static_cast<int>(detail.size()),
                 detail.data());
    std::abort();
}

struct Argument {
    char type;  // t, i, f, n or b
    std::string_view text;
};

// The outcome of one call: an error message, or a value (Null, integer or text).
struct Outcome {
    std::optional<std::string> error;
    int type = SQLITE_NULL;
    std::int64_t integer = 0;
    std::string text;
};

std::string describe(const std::vector<Argument>& args) {
    std::string out;
    for (const Argument& arg : args) {
        out += arg.type;
        out += arg.text;
        out += '\n';
    }
    return out;
}

class Engine {
  public:
    Engine() {
        if (sqlite3_open(":memory:", &db_) != SQLITE_OK) {
            fail("cannot open an in-memory database");
        }
        db::registerTsqlFunctions(db_);
    }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    ~Engine() { sqlite3_close(db_); }

    // Runs SELECT <function>(?, ?, ...) with the arguments bound as given.
    Outcome call(std::string_view function, const std::vector<Argument>& args) {
        std::string sql = "SELECT " + std::string(function) + "(";
        for (std::size_t i = 0; i < args.size(); ++i) {
            sql += i == 0 ? "?" : ", ?";
        }
        sql += ")";
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            fail("cannot prepare", sql + ": " + sqlite3_errmsg(db_));
        }
        for (std::size_t i = 0; i < args.size(); ++i) {
            bind(statement, static_cast<int>(i) + 1, args[i]);
        }
        Outcome outcome;
        const int rc = sqlite3_step(statement);
        if (rc == SQLITE_ROW) {
            outcome.type = sqlite3_column_type(statement, 0);
            outcome.integer = sqlite3_column_int64(statement, 0);
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
            if (text != nullptr) {
                outcome.text.assign(text,
                                    static_cast<std::size_t>(sqlite3_column_bytes(statement, 0)));
            }
        } else if (rc == SQLITE_ERROR) {
            outcome.error = sqlite3_errmsg(db_);
        } else {
            fail("the call ended neither with a row nor with an error",
                 sql + "\n" + describe(args) + sqlite3_errstr(rc));
        }
        sqlite3_finalize(statement);
        return outcome;
    }

  private:
    static void bind(sqlite3_stmt* statement, int index, const Argument& arg) {
        const auto size = static_cast<sqlite3_uint64>(arg.text.size());
        switch (arg.type) {
            case 'i': {
                std::int64_t value = 0;
                std::from_chars(arg.text.data(), arg.text.data() + arg.text.size(), value);
                sqlite3_bind_int64(statement, index, value);
                return;
            }
            case 'f': {
                double value = 0;
                std::from_chars(arg.text.data(), arg.text.data() + arg.text.size(), value);
                sqlite3_bind_double(statement, index, value);
                return;
            }
            case 'n':
                sqlite3_bind_null(statement, index);
                return;
            case 'b':
                sqlite3_bind_blob64(statement, index, arg.text.data(), size, SQLITE_TRANSIENT);
                return;
            default:
                sqlite3_bind_text64(statement, index, arg.text.data(), size, SQLITE_TRANSIENT,
                                    SQLITE_UTF8);
                return;
        }
    }

    sqlite3* db_ = nullptr;
};

Engine& engine() {
    static Engine instance;
    return instance;
}

std::size_t characterCount(std::string_view text) {
    std::size_t count = 0;
    for (char c : text) {
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

// The whole number the functions take from an argument bound as a number.
std::optional<std::int64_t> boundNumber(const Argument& arg) {
    if (arg.type == 'i') {
        std::int64_t value = 0;
        std::from_chars(arg.text.data(), arg.text.data() + arg.text.size(), value);
        return value;
    }
    if (arg.type == 'f') {
        double value = 0;
        std::from_chars(arg.text.data(), arg.text.data() + arg.text.size(), value);
        if (value > -9.0e18 && value < 9.0e18) {
            return static_cast<std::int64_t>(value);
        }
    }
    return std::nullopt;
}

Outcome checkedCall(std::string_view function, std::string_view name,
                    const std::vector<Argument>& args) {
    Outcome outcome = engine().call(function, args);
    if (outcome.error && !std::string_view(*outcome.error).starts_with(name)) {
        fail("an error that does not name its function", *outcome.error + "\n" + describe(args));
    }
    return outcome;
}

void checkDateAdd(const std::vector<Argument>& args) {
    const Outcome added = checkedCall("DATEADD", "DATEADD", args);
    if (added.error || added.type == SQLITE_NULL) {
        return;
    }
    const std::optional<db::DateTime> result = db::DateTime::parse(added.text);
    if (!result || !result->isValid() || result->toIso() != added.text) {
        fail("DATEADD returned no stored date", added.text + "\n" + describe(args));
    }
    const std::optional<std::int64_t> n = boundNumber(args[1]);
    if (!n) {
        return;
    }
    const Outcome counted =
        checkedCall("DATEDIFF", "DATEDIFF", {args[0], args[2], Argument{'t', added.text}});
    if (counted.error || counted.type != SQLITE_INTEGER || counted.integer != *n) {
        fail("DATEDIFF does not count back what DATEADD added",
             describe(args) + "-> " + added.text + "\nDATEDIFF: " +
                 (counted.error ? *counted.error : std::to_string(counted.integer)));
    }
}

void checkDateDiff(const std::vector<Argument>& args) {
    const Outcome forward = checkedCall("DATEDIFF", "DATEDIFF", args);
    const Outcome backward = checkedCall("DATEDIFF", "DATEDIFF", {args[0], args[2], args[1]});
    if (forward.error || backward.error) {
        return;
    }
    if (forward.type != backward.type ||
        (forward.type == SQLITE_INTEGER && forward.integer != -backward.integer)) {
        fail("DATEDIFF(p, a, b) is not -DATEDIFF(p, b, a)",
             describe(args) + std::to_string(forward.integer) + " / " +
                 std::to_string(backward.integer));
    }
}

void checkLeftOrRight(std::string_view name, const std::vector<Argument>& args) {
    const Outcome outcome = checkedCall(name == "LEFT" ? "tsql_left" : "tsql_right", name, args);
    const std::optional<std::int64_t> n = boundNumber(args[1]);
    if (outcome.error || outcome.type == SQLITE_NULL || args[0].type != 't' || !n) {
        return;
    }
    const std::string_view text = args[0].text;
    const bool inPlace =
        name == "LEFT" ? text.starts_with(outcome.text) : text.ends_with(outcome.text);
    const std::size_t total = characterCount(text);
    const std::size_t expected =
        static_cast<std::uint64_t>(*n) < total ? static_cast<std::size_t>(*n) : total;
    if (!inPlace || characterCount(outcome.text) != expected) {
        fail("LEFT/RIGHT cut the wrong piece", describe(args) + "-> " + outcome.text);
    }
}

// The length in CONVERT(VARCHAR(n), ...), when the type argument carries one.
std::optional<std::size_t> textLength(std::string_view type) {
    const std::size_t open = type.find('(');
    if (open == std::string_view::npos || type.empty() || type.back() != ')') {
        return std::nullopt;
    }
    const std::string_view base = type.substr(0, open);
    for (std::string_view word : {"varchar", "nvarchar", "char", "nchar", "text", "ntext"}) {
        if (base.size() == word.size() &&
            std::equal(base.begin(), base.end(), word.begin(), [](char a, char b) {
                return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
            })) {
            std::size_t length = 0;
            const std::string_view digits = type.substr(open + 1, type.size() - open - 2);
            const auto [end, error] =
                std::from_chars(digits.data(), digits.data() + digits.size(), length);
            if (error == std::errc() && end == digits.data() + digits.size()) {
                return length;
            }
        }
    }
    return std::nullopt;
}

void checkConvert(const std::vector<Argument>& args) {
    const Outcome outcome = checkedCall("tsql_convert", "CONVERT", args);
    if (outcome.error || outcome.type != SQLITE_TEXT || args[0].type != 't') {
        return;
    }
    const std::optional<std::size_t> length = textLength(args[0].text);
    if (length && characterCount(outcome.text) > *length) {
        fail("CONVERT returned more characters than the type holds",
             describe(args) + "-> " + outcome.text);
    }
}

void checkParse(std::string_view text) {
    const std::optional<db::DateTime> date = db::DateTime::parse(text);
    if (!date) {
        return;
    }
    if (!date->isValid()) {
        fail("a date read from text is no calendar date", text);
    }
    if (db::DateTime::parse(date->toIso()) != date) {
        fail("the stored form of a date reads differently", date->toIso());
    }
    // The date text writes the year without leading zeros; only four-digit years read back.
    if (date->year >= 1000 && db::DateTime::parse(db::dateText(*date)) != date) {
        fail("the date text of a date reads differently", db::dateText(*date));
    }
}

void checkInput(std::string_view input) {
    const std::size_t lineEnd = input.find('\n');
    const std::string_view function = input.substr(0, lineEnd);
    const std::string_view rest =
        lineEnd == std::string_view::npos ? std::string_view() : input.substr(lineEnd + 1);
    if (function == "PARSE") {
        checkParse(rest);
        return;
    }
    std::vector<Argument> args;
    for (std::size_t pos = 0; pos < rest.size() && args.size() < 4;) {
        const std::size_t end = std::min(rest.find('\n', pos), rest.size());
        const std::string_view line = rest.substr(pos, end - pos);
        args.push_back(line.empty() ? Argument{'t', {}} : Argument{line[0], line.substr(1)});
        pos = end + 1;
    }
    if (function == "DATEADD" && args.size() == 3) {
        checkDateAdd(args);
    } else if (function == "DATEDIFF" && args.size() == 3) {
        checkDateDiff(args);
    } else if ((function == "LEFT" || function == "RIGHT") && args.size() == 2) {
        checkLeftOrRight(function, args);
    } else if (function == "CONVERT" && (args.size() == 2 || args.size() == 3)) {
        checkConvert(args);
    }
}

}  // namespace
}  // namespace fas::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fas::fuzz::checkInput(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
