#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fas::db {

// A calendar date and wall-clock time without a time zone, as SQL Server's datetime holds it.
// The server works in the machine's local time, as GETDATE() does.
struct DateTime {
    int year = 1900;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;

    static DateTime nowLocal();
    static DateTime todayLocal();
    static DateTime fromDate(int year, int month, int day);

    // Accepts ISO 8601 ("2027-03-15", "2027-03-15 10:30:00", "2027-03-15T10:30:00.123") and the
    // date text form ("3/15/2027", "12/4/2026 6:48:34 PM"). Returns nothing for anything else.
    static std::optional<DateTime> parse(std::string_view text);

    bool isMidnight() const { return hour == 0 && minute == 0 && second == 0; }
    DateTime date() const { return fromDate(year, month, day); }
    DateTime addDays(std::int64_t days) const;
    DateTime addSeconds(std::int64_t seconds) const;

    // Days since 1970-01-01 of the date part; seconds since 1970-01-01 00:00:00 of the whole.
    std::int64_t dayNumber() const;
    std::int64_t secondsSinceEpoch() const;
    static DateTime fromSecondsSinceEpoch(std::int64_t seconds);

    bool isValid() const;

    // "2027-03-15 10:30:00": the form the embedded engine stores and compares.
    std::string toIso() const;

    auto operator<=>(const DateTime&) const = default;
};

// The system's date text: US general date, the date alone at exactly midnight
// ("3/15/2027", "12/4/2026 6:48:34 PM"). Used only in texts people read.
std::string dateText(const DateTime& value);

}  // namespace fas::db
