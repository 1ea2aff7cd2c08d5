#include "db/DateTime.h"

#include <charconv>
#include <cstdio>
#include <ctime>
#include <string>

#include "platform/Clock.h"

namespace fas::db {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's civil calendar algorithm).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(y + (m <= 2 ? 1 : 0));
    month = static_cast<int>(m);
    day = static_cast<int>(d);
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2) {
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        return leap ? 29 : 28;
    }
    return kDays[month - 1];
}

// A small cursor over the text being parsed.
struct Scanner {
    std::string_view text;
    std::size_t pos = 0;

    bool atEnd() const { return pos >= text.size(); }
    char peek() const { return atEnd() ? '\0' : text[pos]; }
    bool accept(char c) {
        if (peek() == c) {
            ++pos;
            return true;
        }
        return false;
    }
    void skipBlanks() {
        while (!atEnd() && (text[pos] == ' ' || text[pos] == '\t')) {
            ++pos;
        }
    }
    // Reads 1..maxDigits decimal digits.
    bool number(int& out, std::size_t minDigits, std::size_t maxDigits) {
        std::size_t start = pos;
        while (!atEnd() && pos - start < maxDigits && text[pos] >= '0' && text[pos] <= '9') {
            ++pos;
        }
        if (pos - start < minDigits) {
            return false;
        }
        std::from_chars(text.data() + start, text.data() + pos, out);
        return true;
    }
};

std::optional<DateTime> parseIso(std::string_view text) {
    Scanner s{text};
    DateTime t;
    if (!s.number(t.year, 4, 4) || !s.accept('-') || !s.number(t.month, 1, 2) || !s.accept('-') ||
        !s.number(t.day, 1, 2)) {
        return std::nullopt;
    }
    if (!s.atEnd()) {
        if (!s.accept('T') && !s.accept(' ')) {
            return std::nullopt;
        }
        s.skipBlanks();
        if (!s.number(t.hour, 1, 2) || !s.accept(':') || !s.number(t.minute, 2, 2)) {
            return std::nullopt;
        }
        if (s.accept(':') && !s.number(t.second, 2, 2)) {
            return std::nullopt;
        }
        if (s.accept('.')) {  // fractions of a second are dropped
            int ignored = 0;
            if (!s.number(ignored, 1, 9)) {
                return std::nullopt;
            }
        }
        s.accept('Z');
    }
    if (!s.atEnd() || !t.isValid()) {
        return std::nullopt;
    }
    return t;
}

std::optional<DateTime> parseUs(std::string_view text) {
    Scanner s{text};
    DateTime t;
    if (!s.number(t.month, 1, 2) || !s.accept('/') || !s.number(t.day, 1, 2) || !s.accept('/') ||
        !s.number(t.year, 4, 4)) {
        return std::nullopt;
    }
    s.skipBlanks();
    if (!s.atEnd()) {
        if (!s.number(t.hour, 1, 2) || !s.accept(':') || !s.number(t.minute, 2, 2)) {
            return std::nullopt;
        }
        if (s.accept(':') && !s.number(t.second, 2, 2)) {
            return std::nullopt;
        }
        s.skipBlanks();
        if (!s.atEnd()) {
            const std::string_view rest = text.substr(s.pos);
            const bool am = rest == "AM" || rest == "am";
            const bool pm = rest == "PM" || rest == "pm";
            if ((!am && !pm) || t.hour < 1 || t.hour > 12) {
                return std::nullopt;
            }
            t.hour = (t.hour % 12) + (pm ? 12 : 0);
            s.pos = text.size();
        }
    }
    if (!t.isValid()) {
        return std::nullopt;
    }
    return t;
}

DateTime fromTm(const std::tm& tm) {
    return DateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace

DateTime DateTime::nowLocal() {
    const std::time_t now = std::time(nullptr);
    return fromTm(platform::LocalTimeOf(now).fields);
}

DateTime DateTime::todayLocal() {
    return nowLocal().date();
}

DateTime DateTime::fromDate(int y, int m, int d) {
    return DateTime{y, m, d, 0, 0, 0};
}

std::optional<DateTime> DateTime::parse(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    if (text.find('/') != std::string_view::npos) {
        return parseUs(text);
    }
    return parseIso(text);
}

bool DateTime::isValid() const {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= daysInMonth(year, month) && hour >= 0 && hour <= 23 && minute >= 0 &&
           minute <= 59 && second >= 0 && second <= 59;
}

std::int64_t DateTime::dayNumber() const {
    return daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
}

std::int64_t DateTime::secondsSinceEpoch() const {
    return dayNumber() * 86400 + hour * 3600 + minute * 60 + second;
}

DateTime DateTime::fromSecondsSinceEpoch(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    DateTime t;
    civilFromDays(days, t.year, t.month, t.day);
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest % 3600 / 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

DateTime DateTime::addDays(std::int64_t days) const {
    return fromSecondsSinceEpoch(secondsSinceEpoch() + days * 86400);
}

DateTime DateTime::addSeconds(std::int64_t seconds) const {
    return fromSecondsSinceEpoch(secondsSinceEpoch() + seconds);
}

std::string DateTime::toIso() const {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour,
                  minute, second);
    return buffer;
}

std::string dateText(const DateTime& value) {
    char buffer[48];
    if (value.isMidnight()) {
        std::snprintf(buffer, sizeof buffer, "%d/%d/%d", value.month, value.day, value.year);
    } else {
        const int hour12 = value.hour % 12 == 0 ? 12 : value.hour % 12;
        std::snprintf(buffer, sizeof buffer, "%d/%d/%d %d:%02d:%02d %s", value.month, value.day,
                      value.year, hour12, value.minute, value.second,
                      value.hour < 12 ? "AM" : "PM");
    }
    return buffer;
}

}  // namespace fas::db
