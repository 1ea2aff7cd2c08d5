// Calls the T-SQL functions registered on the embedded engine with arbitrary arguments. Input,
// one a line: a date part, a number, two texts (dates or not). Beyond running cleanly: an error
// names its function; DATEDIFF counts back what DATEADD added; a date that reads reads again the
// same from its stored and US forms (the US form writes the year without leading zeros, so only
// four-digit years read back).
#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Fuzz.h"
#include "db/DateTime.h"
#include "db/TsqlDialect.h"

namespace fas::fuzz {

// SELECT name(?, ...) with the arguments bound as text; the result as text, or nothing for
// Null or an error (which must name the function).
std::optional<std::string> call(const char* name, const char* function,
                                const std::vector<std::string_view>& args) {
    static sqlite3* db = nullptr;
    if (db == nullptr && sqlite3_open(":memory:", &db) == SQLITE_OK) {
        db::registerTsqlFunctions(db);
    }
    const std::string sql =
        std::string("SELECT ") + function + (args.size() == 2 ? "(?,?)" : "(?,?,?)");
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr);
    for (std::size_t i = 0; i < args.size(); ++i) {
        sqlite3_bind_text(statement, static_cast<int>(i) + 1, args[i].data(),
                          static_cast<int>(args[i].size()), SQLITE_TRANSIENT);
    }
    std::optional<std::string> out;
    if (sqlite3_step(statement) == SQLITE_ROW) {
        if (const unsigned char* text = sqlite3_column_text(statement, 0)) {
            out.emplace(reinterpret_cast<const char*>(text),
                        static_cast<std::size_t>(sqlite3_column_bytes(statement, 0)));
        }
    } else if (!std::string_view(sqlite3_errmsg(db)).starts_with(name)) {
        fail("an error that does not name its function", sqlite3_errmsg(db));
    }
    sqlite3_finalize(statement);
    return out;
}

void check(std::string_view input) {
    std::string_view line[4];
    for (std::string_view& piece : line) {
        piece = input.substr(0, input.find('\n'));
        input.remove_prefix(std::min(piece.size() + 1, input.size()));
    }
    const std::string_view part = line[0], number = line[1], a = line[2], b = line[3];
    long long n = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), n);
    if (const auto added = call("DATEADD", "DATEADD", {part, number, a});
        added && error == std::errc() && end == number.data() + number.size() &&
        call("DATEDIFF", "DATEDIFF", {part, a, *added}) != std::to_string(n)) {
        fail("DATEDIFF does not count back what DATEADD added", a);
    }
    (void)call("DATEDIFF", "DATEDIFF", {part, a, b});          // runs cleanly
    (void)call("CONVERT", "tsql_convert", {part, a, number});  // runs cleanly
    if (const auto date = db::DateTime::parse(a);
        date && (!date->isValid() || db::DateTime::parse(date->toIso()) != date ||
                 (date->year >= 1000 && db::DateTime::parse(db::dateText(*date)) != date))) {
        fail("a date reads differently from its stored or US form", a);
    }
}

}  // namespace fas::fuzz
