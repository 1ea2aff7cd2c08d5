#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "TsqlMemoryDb.h"
#include "db/DateTime.h"

namespace fas::db {
namespace {

using test::TsqlMemoryDb;

struct DiffCase {
    const char* part;
    const char* start;
    const char* end;
    long long expected;
};

TEST(DateDiff, CountsBoundariesCrossedAsSqlServerDoes) {
    const DiffCase cases[] = {
        // One second apart but across a minute boundary; almost two minutes inside one.
        {"MINUTE", "2027-03-15 10:00:59", "2027-03-15 10:01:00", 1},
        {"MINUTE", "2027-03-15 10:00:00", "2027-03-15 10:01:59", 1},
        {"MINUTE", "2027-03-15 10:01:00", "2027-03-15 10:00:59", -1},
        {"mi", "2027-03-15 10:00:00", "2027-03-15 10:00:59", 0},
        {"n", "2027-03-15", "2027-03-15 00:01:00", 1},
        {"minute", "2027-03-15", "2027-03-15 23:59:59", 1439},
        // Midnight, months, years and leap days.
        {"day", "2027-03-15 23:59:59", "2027-03-16 00:00:00", 1},
        {"dd", "2027-03-15 00:00:00", "2027-03-15 23:59:59", 0},
        {"d", "2027-03-16", "2027-03-15 23:59:59", -1},
        {"day", "2028-02-28", "2028-03-01", 2},
        {"day", "2027-02-28", "2027-03-01", 1},
        {"month", "2027-01-31 23:59:59", "2027-02-01", 1},
        {"mm", "2027-01-01", "2027-01-31 23:59:59", 0},
        {"year", "2027-12-31 23:59:59", "2028-01-01", 1},
        {"yyyy", "2027-01-01", "2027-12-31", 0},
        {"quarter", "2027-03-31", "2027-04-01", 1},
        {"hour", "2027-03-15 09:59:59", "2027-03-15 10:00:00", 1},
        {"hh", "2027-03-15 23:30:00", "2027-03-16 00:29:00", 1},
        {"second", "2027-03-15 23:59:59", "2027-03-16 00:00:01", 2},
        // Weeks turn on Sunday: 2027-03-13 is a Saturday, 2027-03-14 a Sunday.
        {"week", "2027-03-13", "2027-03-14", 1},
        {"wk", "2027-03-14", "2027-03-20 23:59:59", 0},
        // Before 1970 the boundaries are still whole minutes and days.
        {"minute", "1969-12-31 23:59:59", "1970-01-01 00:00:00", 1},
        {"day", "1969-12-31 23:59:59", "1970-01-01", 1},
        // The date text form written by the rules reads the same as ISO text.
        {"minute", "3/15/2027 10:30:00 AM", "2027-03-15 10:31:00", 1},
        {"day", "3/15/2027", "2027-03-15T23:00:00", 0},
    };
    TsqlMemoryDb db;
    for (const DiffCase& c : cases) {
        const std::string sql = std::string("SELECT DATEDIFF(") + c.part + ", ?, ?)";
        EXPECT_EQ(db.scalar(sql, {Value(c.start), Value(c.end)}), std::to_string(c.expected))
            << c.part << " " << c.start << " -> " << c.end;
    }
}

TEST(DateAdd, MovesTheDateAndWritesTheFullForm) {
    const struct {
        const char* part;
        long long n;
        const char* date;
        const char* expected;
    } cases[] = {
        {"day", 30, "2027-03-15", "2027-04-14 00:00:00"},
        {"dd", -1, "2027-03-01 10:30:00", "2027-02-28 10:30:00"},
        {"day", 1, "2028-02-28", "2028-02-29 00:00:00"},
        {"minute", 1, "2027-12-31 23:59:30", "2028-01-01 00:00:30"},
        {"hour", -1, "2027-03-15", "2027-03-14 23:00:00"},
        {"second", 86400, "2027-03-15 10:00:00", "2027-03-16 10:00:00"},
        {"week", 2, "2027-03-15", "2027-03-29 00:00:00"},
        // A month later is the same day, or the last day of a shorter month.
        {"month", 1, "2027-01-31", "2027-02-28 00:00:00"},
        {"m", 1, "2028-01-31 08:00:00", "2028-02-29 08:00:00"},
        {"mm", -13, "2027-03-15", "2026-02-15 00:00:00"},
        {"year", 1, "2028-02-29", "2029-02-28 00:00:00"},
        {"quarter", 1, "2027-11-30", "2028-02-29 00:00:00"},
    };
    TsqlMemoryDb db;
    for (const auto& c : cases) {
        const std::string sql = std::string("SELECT DATEADD(") + c.part + ", ?, ?)";
        EXPECT_EQ(db.scalar(sql, {Value(c.n), Value(c.date)}), c.expected)
            << c.part << " " << c.n << " " << c.date;
    }
    EXPECT_EQ(db.scalar("SELECT DATEADD(day, '2', '2027-03-15')"), "2027-03-17 00:00:00");
}

TEST(DateFunctions, NullInGivesNullOut) {
    TsqlMemoryDb db;
    for (const char* sql :
         {"SELECT DATEADD(day, NULL, '2027-03-15')", "SELECT DATEADD(day, 1, NULL)",
          "SELECT DATEDIFF(day, NULL, 'x')", "SELECT DATEDIFF(minute, '2027-03-15', NULL)",
          "SELECT CONVERT(VARCHAR, NULL, 101)", "SELECT CONVERT(VARCHAR, ?)",
          "SELECT CONVERT(VARCHAR, '2027-03-15', NULL)", "SELECT LEFT(NULL, 2)",
          "SELECT RIGHT('abc', NULL)"}) {
        EXPECT_EQ(db.run(sql, {Value()}).at(0).at(0), std::nullopt) << sql;
    }
}

TEST(DateFunctions, BadInputIsAnErrorThatSaysWhy) {
    TsqlMemoryDb db;
    const struct {
        const char* sql;
        const char* says;
    } cases[] = {
        {"SELECT DATEDIFF(minute, 'soon', '2027-03-15')", "DATEDIFF: 'soon' is not a date"},
        {"SELECT DATEDIFF(minute, '2027-02-30', '2027-03-15')", "'2027-02-30' is not a date"},
        {"SELECT DATEADD(day, 1, 20270315)", "DATEADD: '20270315' is not a date"},
        {"SELECT DATEADD(fortnight, 1, '2027-03-15')", "'fortnight' is not a date part"},
        {"SELECT DATEADD(day, 'many', '2027-03-15')", "'many' is not a number"},
        {"SELECT DATEADD(day, 1, '9999-12-31')", "leaves the years 1 to 9999"},
        {"SELECT DATEADD(second, 9000000000000000000, '2027-03-15')", "leaves the years"},
        {"SELECT CONVERT(VARCHAR, '2027-03-15', 999)", "date style 999 is not supported"},
        {"SELECT CONVERT(GEOGRAPHY, 'x')", "the type 'GEOGRAPHY' is not supported"},
        {"SELECT CONVERT(DATETIME, 'someday')", "'someday' is not a date"},
        {"SELECT RIGHT('abc', -1)", "RIGHT: the length -1 is negative"},
    };
    for (const auto& c : cases) {
        EXPECT_NE(db.errorOf(c.sql).find(c.says), std::string::npos)
            << c.sql << " gave: " << db.errorOf(c.sql);
    }
}

TEST(Convert, Style101IsZeroPaddedAndIgnoresTheTimeOfDay) {
    TsqlMemoryDb db;
    const auto convert = [&](const char* sql, const char* value) {
        return db.scalar(sql, {Value(value)});
    };
    EXPECT_EQ(convert("SELECT CONVERT(VARCHAR, ?, 101)", "2027-03-05"), "03/05/2027");
    EXPECT_EQ(convert("SELECT CONVERT(VARCHAR,?,101)", "2027-03-05 23:59:59"), "03/05/2027");
    EXPECT_EQ(convert("SELECT CONVERT(nvarchar(10), ?, 101)", "12/4/2026 6:48:34 PM"),
              "12/04/2026");
    EXPECT_EQ(convert("SELECT CONVERT(VARCHAR, ?, 120)", "2027-03-05"), "2027-03-05 00:00:00");
    EXPECT_EQ(convert("SELECT CONVERT(VARCHAR, ?)", "2027-03-05T07:08:09"), "2027-03-05 07:08:09");
    EXPECT_EQ(convert("SELECT CONVERT(VARCHAR(4), ?, 101)", "2027-03-05"), "03/0");
    // A text that is no date keeps its form; numbers become their text.
    EXPECT_EQ(convert("SELECT CONVERT(VARCHAR, ?, 101)", "not a date"), "not a date");
    EXPECT_EQ(db.scalar("SELECT CONVERT(VARCHAR, 42)"), "42");
    EXPECT_EQ(db.scalar("SELECT CONVERT(INT, ' 42 ')"), "42");
    EXPECT_EQ(db.scalar("SELECT CONVERT(DATE, '2027-03-05 10:00:00')"), "2027-03-05 00:00:00");
    // The issue duplicate check: same calendar day whatever the stored form.
    db.setUp(
        "CREATE TABLE Item (ID INTEGER PRIMARY KEY, D TEXT);"
        "CREATE TABLE Issue (ItemID INTEGER, Auto_Date TEXT);"
        "INSERT INTO Item VALUES (1,'2027-03-15'),(2,'2027-03-16 08:00:00'),(3,'2027-03-17');"
        "INSERT INTO Issue VALUES (1,'2027-03-15 00:00:00'),(2,'2027-03-16'),"
        "(3,'2027-03-18 00:00:00');");
    EXPECT_EQ(db.run("SELECT Item.ID FROM Item LEFT JOIN Issue ON Item.ID=Issue.ItemID AND "
                     "CONVERT(VARCHAR,Item.D,101)=CONVERT(VARCHAR,Issue.Auto_Date,101) "
                     "WHERE Issue.ItemID IS NULL"),
              (std::vector<TsqlMemoryDb::Row>{{"3"}}));
}

TEST(LeftRight, CountCharactersNotBytes) {
    TsqlMemoryDb db;
    EXPECT_EQ(db.scalar("SELECT RIGHT('1FUJGLDR5CLBP8834', 6)"), "BP8834");
    EXPECT_EQ(db.scalar("SELECT LEFT('abc', 10) + RIGHT('xyz', 10)"), "abcxyz");
    EXPECT_EQ(db.scalar("SELECT LEFT('abc', 0) + '|' + RIGHT('abc', 0)"), "|");
    EXPECT_EQ(db.scalar("SELECT RIGHT(123456, 2.9)"), "56");
    EXPECT_EQ(db.scalar("SELECT LEFT('Müller', 2) + RIGHT('Müller', 5)"), "Müüller");
}

TEST(GetDate, IsTheLocalTimeInTheFullForm) {
    TsqlMemoryDb db;
    const DateTime before = DateTime::nowLocal();
    const std::optional<std::string> text = db.scalar("SELECT GETDATE()");
    const DateTime after = DateTime::nowLocal();
    ASSERT_TRUE(text.has_value());
    ASSERT_EQ(text->size(), 19u) << *text;
    const std::optional<DateTime> now = DateTime::parse(*text);
    ASSERT_TRUE(now.has_value()) << *text;
    EXPECT_LE(before, *now);
    EXPECT_LE(*now, after);
    // Stored date-only and date-time texts compare with it as dates do.
    EXPECT_EQ(db.scalar("SELECT DATEADD(day,30,?) < GETDATE()", {Value("2000-01-01")}), "1");
    EXPECT_EQ(db.scalar("SELECT GETDATE() >= ?", {Value(now->date().toIso().substr(0, 10))}), "1");
}

}  // namespace
}  // namespace fas::db
