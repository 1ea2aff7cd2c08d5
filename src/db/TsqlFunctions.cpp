// The T-SQL functions the statements use, registered on every embedded connection with SQL
// Server's meaning. Dates are ISO 8601 text in the embedded database ("2027-03-15" or
// "2027-03-15 10:30:00"); both forms are read, and results are written in the full form so they
// compare with stored and bound dates.
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "db/DateTime.h"
#include "db/Errors.h"
#include "db/TsqlDialect.h"

namespace fas::db {
namespace {

enum class DatePart { Year, Quarter, Month, DayOfYear, Day, Week, Weekday, Hour, Minute, Second };

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::optional<DatePart> datePart(std::string_view word) {
    struct Name {
        std::string_view word;
        DatePart part;
    };
    static constexpr Name kNames[] = {
        {"year", DatePart::Year},       {"yy", DatePart::Year},
        {"yyyy", DatePart::Year},       {"quarter", DatePart::Quarter},
        {"qq", DatePart::Quarter},      {"q", DatePart::Quarter},
        {"month", DatePart::Month},     {"mm", DatePart::Month},
        {"m", DatePart::Month},         {"dayofyear", DatePart::DayOfYear},
        {"dy", DatePart::DayOfYear},    {"y", DatePart::DayOfYear},
        {"day", DatePart::Day},         {"dd", DatePart::Day},
        {"d", DatePart::Day},           {"week", DatePart::Week},
        {"wk", DatePart::Week},         {"ww", DatePart::Week},
        {"weekday", DatePart::Weekday}, {"dw", DatePart::Weekday},
        {"w", DatePart::Weekday},       {"hour", DatePart::Hour},
        {"hh", DatePart::Hour},         {"minute", DatePart::Minute},
        {"mi", DatePart::Minute},       {"n", DatePart::Minute},
        {"second", DatePart::Second},   {"ss", DatePart::Second},
        {"s", DatePart::Second},
    };
    for (const Name& name : kNames) {
        if (equalsNoCase(name.word, word)) {
            return name.part;
        }
    }
    return std::nullopt;
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

std::string_view textOf(sqlite3_value* value) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
    if (text == nullptr) {
        return {};
    }
    return {text, static_cast<std::size_t>(sqlite3_value_bytes(value))};
}

// A value quoted for an error message, shortened.
std::string quoted(std::string_view text) {
    constexpr std::size_t kLimit = 60;
    std::string out = "'" + std::string(text.substr(0, kLimit));
    return out + (text.size() > kLimit ? "...'" : "'");
}

bool anyNull(int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
            return true;
        }
    }
    return false;
}

void fail(sqlite3_context* context, const std::string& message) {
    sqlite3_result_error(context, message.c_str(), static_cast<int>(message.size()));
}

std::optional<DatePart> datePartArg(sqlite3_context* context, sqlite3_value* value,
                                    const char* function) {
    std::optional<DatePart> part;
    if (sqlite3_value_type(value) == SQLITE_TEXT) {
        part = datePart(textOf(value));
    }
    if (!part) {
        fail(context, std::string(function) + ": " + quoted(textOf(value)) +
                          " is not a date part (year, quarter, month, dayofyear, day, week, "
                          "weekday, hour, minute, second or their abbreviations)");
    }
    return part;
}

// A date argument: text in one of the forms DateTime reads. Numbers are no dates here.
std::optional<DateTime> dateArg(sqlite3_context* context, sqlite3_value* value,
                                const char* function) {
    std::optional<DateTime> date;
    if (sqlite3_value_type(value) == SQLITE_TEXT) {
        date = DateTime::parse(textOf(value));
    }
    if (!date) {
        fail(context, std::string(function) + ": " + quoted(textOf(value)) + " is not a date");
    }
    return date;
}

// A whole-number argument; fractions are cut off as SQL Server does.
std::optional<std::int64_t> integerArg(sqlite3_context* context, sqlite3_value* value,
                                       const char* function) {
    switch (sqlite3_value_numeric_type(value)) {
        case SQLITE_INTEGER:
            return sqlite3_value_int64(value);
        case SQLITE_FLOAT: {
            const double number = sqlite3_value_double(value);
            if (number > -9.0e18 && number < 9.0e18) {
                return static_cast<std::int64_t>(number);
            }
            break;
        }
        default:
            break;
    }
    fail(context, std::string(function) + ": " + quoted(textOf(value)) + " is not a number");
    return std::nullopt;
}

void resultText(sqlite3_context* context, const std::string& text) {
    sqlite3_result_text64(context, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void resultDate(sqlite3_context* context, const DateTime& value) {
    resultText(context, value.toIso());
}

// ---- GETDATE() ------------------------------------------------------------------------------

void getDate(sqlite3_context* context, int, sqlite3_value**) {
    resultDate(context, DateTime::nowLocal());
}

// ---- DATEADD(part, number, date) ------------------------------------------------------------

std::optional<DateTime> addMonths(const DateTime& date, std::int64_t months) {
    constexpr std::int64_t kLimit = 12 * 10000;
    if (months > kLimit || months < -kLimit) {
        return std::nullopt;
    }
    const std::int64_t total = std::int64_t{date.year} * 12 + (date.month - 1) + months;
    const std::int64_t year = floorDiv(total, 12);
    if (year < 1 || year > 9999) {
        return std::nullopt;
    }
    DateTime out = date;
    out.year = static_cast<int>(year);
    out.month = static_cast<int>(total - year * 12) + 1;
    // The 31st plus a month is the last day of a shorter month, as in SQL Server.
    out.day = std::min(out.day, daysInMonth(out.year, out.month));
    return out;
}

std::optional<DateTime> addSeconds(const DateTime& date, std::int64_t count, std::int64_t unit) {
    // More than 10000 years of seconds cannot land inside the calendar.
    constexpr std::int64_t kLimit = std::int64_t{10000} * 366 * 86400;
    if (count > kLimit / unit || count < -kLimit / unit) {
        return std::nullopt;
    }
    const DateTime out = date.addSeconds(count * unit);
    if (!out.isValid()) {
        return std::nullopt;
    }
    return out;
}

void dateAdd(sqlite3_context* context, int argc, sqlite3_value** argv) {
    const std::optional<DatePart> part = datePartArg(context, argv[0], "DATEADD");
    if (!part || anyNull(argc, argv)) {
        return;  // an error already set, or Null
    }
    const std::optional<std::int64_t> number = integerArg(context, argv[1], "DATEADD");
    const std::optional<DateTime> date =
        number ? dateArg(context, argv[2], "DATEADD") : std::nullopt;
    if (!date) {
        return;
    }
    const std::int64_t n = *number;
    std::optional<DateTime> result;
    switch (*part) {
        case DatePart::Year:
            result = n > 10000 || n < -10000 ? std::nullopt : addMonths(*date, n * 12);
            break;
        case DatePart::Quarter:
            result = n > 40000 || n < -40000 ? std::nullopt : addMonths(*date, n * 3);
            break;
        case DatePart::Month:
            result = addMonths(*date, n);
            break;
        case DatePart::DayOfYear:
        case DatePart::Day:
        case DatePart::Weekday:
            result = addSeconds(*date, n, 86400);
            break;
        case DatePart::Week:
            result = addSeconds(*date, n, 7 * 86400);
            break;
        case DatePart::Hour:
            result = addSeconds(*date, n, 3600);
            break;
        case DatePart::Minute:
            result = addSeconds(*date, n, 60);
            break;
        case DatePart::Second:
            result = addSeconds(*date, n, 1);
            break;
    }
    if (!result) {
        fail(context, "DATEADD: adding " + std::to_string(n) + " " + std::string(textOf(argv[0])) +
                          " to " + date->toIso() + " leaves the years 1 to 9999");
        return;
    }
    resultDate(context, *result);
}

// ---- DATEDIFF(part, start, end): boundaries crossed, as SQL Server counts -------------------

std::int64_t boundariesCrossed(DatePart part, const DateTime& a, const DateTime& b) {
    switch (part) {
        case DatePart::Year:
            return b.year - a.year;
        case DatePart::Quarter:
            return (std::int64_t{b.year} * 4 + (b.month - 1) / 3) -
                   (std::int64_t{a.year} * 4 + (a.month - 1) / 3);
        case DatePart::Month:
            return (std::int64_t{b.year} * 12 + b.month) - (std::int64_t{a.year} * 12 + a.month);
        case DatePart::DayOfYear:
        case DatePart::Day:
        case DatePart::Weekday:
            return b.dayNumber() - a.dayNumber();
        case DatePart::Week:
            // Weeks begin on Sunday whatever the server's first day; 1970-01-04 was a Sunday.
            return floorDiv(b.dayNumber() + 4, 7) - floorDiv(a.dayNumber() + 4, 7);
        case DatePart::Hour:
            return floorDiv(b.secondsSinceEpoch(), 3600) - floorDiv(a.secondsSinceEpoch(), 3600);
        case DatePart::Minute:
            return floorDiv(b.secondsSinceEpoch(), 60) - floorDiv(a.secondsSinceEpoch(), 60);
        case DatePart::Second:
            return b.secondsSinceEpoch() - a.secondsSinceEpoch();
    }
    return 0;
}

void dateDiff(sqlite3_context* context, int argc, sqlite3_value** argv) {
    const std::optional<DatePart> part = datePartArg(context, argv[0], "DATEDIFF");
    if (!part || anyNull(argc, argv)) {
        return;
    }
    const std::optional<DateTime> start = dateArg(context, argv[1], "DATEDIFF");
    const std::optional<DateTime> end =
        start ? dateArg(context, argv[2], "DATEDIFF") : std::nullopt;
    if (!end) {
        return;
    }
    sqlite3_result_int64(context, boundariesCrossed(*part, *start, *end));
}

// ---- CONVERT(type, value[, style]) ----------------------------------------------------------

enum class TargetKind { Text, Date, DateTime, Integer, Bit, Real };

struct TargetType {
    TargetKind kind;
    std::optional<std::int64_t> length;  // characters, for text types with a length
};

std::optional<TargetType> targetType(std::string_view text) {
    const std::size_t paren = text.find('(');
    const std::string_view base = text.substr(0, paren);
    std::optional<std::int64_t> length;
    if (paren != std::string_view::npos) {
        const std::string_view inside = text.substr(paren + 1, text.size() - paren - 2);
        if (!equalsNoCase(inside, "max")) {
            std::int64_t n = 0;
            for (char c : inside) {
                if (c < '0' || c > '9' || n > 100000000) {
                    n = -1;
                    break;
                }
                n = n * 10 + (c - '0');
            }
            if (n < 0) {
                length = std::nullopt;  // a precision such as (10,2): not a text length
            } else {
                length = n;
            }
        }
    }
    struct Name {
        std::string_view word;
        TargetKind kind;
    };
    static constexpr Name kNames[] = {
        {"varchar", TargetKind::Text},
        {"nvarchar", TargetKind::Text},
        {"char", TargetKind::Text},
        {"nchar", TargetKind::Text},
        {"text", TargetKind::Text},
        {"ntext", TargetKind::Text},
        {"date", TargetKind::Date},
        {"datetime", TargetKind::DateTime},
        {"datetime2", TargetKind::DateTime},
        {"smalldatetime", TargetKind::DateTime},
        {"int", TargetKind::Integer},
        {"bigint", TargetKind::Integer},
        {"smallint", TargetKind::Integer},
        {"tinyint", TargetKind::Integer},
        {"bit", TargetKind::Bit},
        {"float", TargetKind::Real},
        {"real", TargetKind::Real},
    };
    for (const Name& name : kNames) {
        if (equalsNoCase(name.word, base)) {
            return TargetType{name.kind, name.kind == TargetKind::Text ? length : std::nullopt};
        }
    }
    return std::nullopt;
}

// A date written in one of SQL Server's CONVERT styles; nothing for a style not supported.
std::optional<std::string> dateInStyle(const DateTime& d, std::int64_t style) {
    char buffer[40];
    const int yy = d.year % 100;
    switch (style) {
        case 1:
            std::snprintf(buffer, sizeof buffer, "%02d/%02d/%02d", d.month, d.day, yy);
            break;
        case 101:
            std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d", d.month, d.day, d.year);
            break;
        case 3:
            std::snprintf(buffer, sizeof buffer, "%02d/%02d/%02d", d.day, d.month, yy);
            break;
        case 103:
            std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d", d.day, d.month, d.year);
            break;
        case 10:
            std::snprintf(buffer, sizeof buffer, "%02d-%02d-%02d", d.month, d.day, yy);
            break;
        case 110:
            std::snprintf(buffer, sizeof buffer, "%02d-%02d-%04d", d.month, d.day, d.year);
            break;
        case 111:
            std::snprintf(buffer, sizeof buffer, "%04d/%02d/%02d", d.year, d.month, d.day);
            break;
        case 112:
            std::snprintf(buffer, sizeof buffer, "%04d%02d%02d", d.year, d.month, d.day);
            break;
        case 23:
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", d.year, d.month, d.day);
            break;
        case 8:
        case 108:
            std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", d.hour, d.minute, d.second);
            break;
        case 20:
        case 120:
            return d.toIso();
        case 21:
        case 121:
            return d.toIso() + ".000";
        case 126:
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d", d.year, d.month,
                          d.day, d.hour, d.minute, d.second);
            break;
        default:
            return std::nullopt;
    }
    return std::string(buffer);
}

// The first `count` characters of UTF-8 text.
std::string_view firstCharacters(std::string_view text, std::int64_t count) {
    std::size_t i = 0;
    for (std::int64_t seen = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == count) {
            break;
        }
    }
    return text.substr(0, i);
}

void convertToText(sqlite3_context* context, const TargetType& type, sqlite3_value* value,
                   sqlite3_value* style) {
    std::string text(textOf(value));
    // Dates are text here; a text that reads as a date is written as the style asks.
    const std::optional<DateTime> date =
        sqlite3_value_type(value) == SQLITE_TEXT ? DateTime::parse(text) : std::nullopt;
    if (date) {
        if (style == nullptr) {
            text = date->toIso();
        } else {
            const std::optional<std::int64_t> number = integerArg(context, style, "CONVERT");
            if (!number) {
                return;
            }
            const std::optional<std::string> styled = dateInStyle(*date, *number);
            if (!styled) {
                fail(context,
                     "CONVERT: date style " + std::to_string(*number) + " is not supported");
                return;
            }
            text = *styled;
        }
    }
    if (type.length) {
        text = std::string(firstCharacters(text, *type.length));
    }
    resultText(context, text);
}

void convertToInteger(sqlite3_context* context, TargetKind kind, sqlite3_value* value) {
    const int numeric = sqlite3_value_numeric_type(value);
    if (numeric != SQLITE_INTEGER && numeric != SQLITE_FLOAT) {
        fail(context, "CONVERT: " + quoted(textOf(value)) + " is not a number");
        return;
    }
    const std::optional<std::int64_t> number = integerArg(context, value, "CONVERT");
    if (number) {
        sqlite3_result_int64(context, kind == TargetKind::Bit ? (*number != 0 ? 1 : 0) : *number);
    }
}

void convert(sqlite3_context* context, int argc, sqlite3_value** argv) {
    const std::optional<TargetType> type =
        sqlite3_value_type(argv[0]) == SQLITE_TEXT ? targetType(textOf(argv[0])) : std::nullopt;
    if (!type) {
        fail(context, "CONVERT: the type " + quoted(textOf(argv[0])) + " is not supported");
        return;
    }
    if (anyNull(argc, argv)) {
        return;
    }
    switch (type->kind) {
        case TargetKind::Text:
            convertToText(context, *type, argv[1], argc > 2 ? argv[2] : nullptr);
            return;
        case TargetKind::Date:
        case TargetKind::DateTime: {
            const std::optional<DateTime> date = dateArg(context, argv[1], "CONVERT");
            if (date) {
                resultDate(context, type->kind == TargetKind::Date ? date->date() : *date);
            }
            return;
        }
        case TargetKind::Integer:
        case TargetKind::Bit:
            convertToInteger(context, type->kind, argv[1]);
            return;
        case TargetKind::Real:
            if (sqlite3_value_numeric_type(argv[1]) == SQLITE_TEXT ||
                sqlite3_value_type(argv[1]) == SQLITE_BLOB) {
                fail(context, "CONVERT: " + quoted(textOf(argv[1])) + " is not a number");
                return;
            }
            sqlite3_result_double(context, sqlite3_value_double(argv[1]));
            return;
    }
}

// ---- LEFT(text, n), RIGHT(text, n) ----------------------------------------------------------

std::size_t characterCount(std::string_view text) {
    std::size_t count = 0;
    for (char c : text) {
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

template <bool kFromRight>
void leftOrRight(sqlite3_context* context, int argc, sqlite3_value** argv) {
    const char* function = kFromRight ? "RIGHT" : "LEFT";
    if (anyNull(argc, argv)) {
        return;
    }
    const std::optional<std::int64_t> count = integerArg(context, argv[1], function);
    if (!count) {
        return;
    }
    if (*count < 0) {
        fail(context,
             std::string(function) + ": the length " + std::to_string(*count) + " is negative");
        return;
    }
    const std::string_view text = textOf(argv[0]);
    std::string_view part;
    if (kFromRight) {
        const std::size_t total = characterCount(text);
        const std::size_t keep = std::min(total, static_cast<std::size_t>(*count));
        part = text.substr(firstCharacters(text, static_cast<std::int64_t>(total - keep)).size());
    } else {
        part = firstCharacters(text, *count);
    }
    sqlite3_result_text64(context, part.data(), part.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void define(sqlite3* db, const char* name, int argc, bool deterministic,
            void (*function)(sqlite3_context*, int, sqlite3_value**)) {
    int flags = SQLITE_UTF8;
    if (deterministic) {
        flags |= SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    }
    const int rc = sqlite3_create_function_v2(db, name, argc, flags, nullptr, function, nullptr,
                                              nullptr, nullptr);
    if (rc != SQLITE_OK) {
        throw DatabaseError(std::string("Cannot register the T-SQL function ") + name +
                            " on the embedded database: " + sqlite3_errmsg(db));
    }
}

}  // namespace

void registerTsqlFunctions(sqlite3* db) {
    define(db, "GETDATE", 0, false, getDate);
    define(db, "DATEADD", 3, true, dateAdd);
    define(db, "DATEDIFF", 3, true, dateDiff);
    define(db, "tsql_convert", 2, true, convert);
    define(db, "tsql_convert", 3, true, convert);
    define(db, "tsql_left", 2, true, leftOrRight<false>);
    define(db, "tsql_right", 2, true, leftOrRight<true>);
}

}  // namespace fas::db
