// The T-SQL the system sends, run on the embedded engine: the dialect layer's rewrites and the
// date and text functions registered for it.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "db/TsqlDialect.h"
#include "support/Site.h"

namespace fas::db {
namespace {

using Case = std::pair<const char*, const char*>;

// Literals, quoted names and comments stay byte for byte; what the data cannot show of a rewrite.
TEST(TsqlDialect, Rewrites) {
    const Case cases[] = {
        {"SELECT 'a+b ISNULL( TOP 5' AS [p + q], \"ISNULL(\", N'it''s' -- TOP 5 a + b\n/* + */",
         "SELECT 'a+b ISNULL( TOP 5' AS [p + q], \"ISNULL(\", 'it''s' -- TOP 5 a + b\n/* + */"},
        {"SELECT 'a'N'b'", "SELECT 'a' 'b'"},  // never fused into the one literal 'a''b'
        {"SELECT +1, 2.5e+3, x + 1, (+x), 0x1F + 2", "SELECT +1, 2.5e+3, x + 1, (+x), 0x1F + 2"},
        {"SELECT TOP 1 ID FROM T -- first\n", "SELECT ID FROM T LIMIT 1 -- first\n"},
        {"SELECT Top FROM t ORDER BY Top", "SELECT Top FROM t ORDER BY Top"},
        {"UPDATE [I] SET S='x' FROM [I] JOIN D ON 1=1;",
         "UPDATE [I] SET S='x' WHERE rowid IN (SELECT [I].rowid FROM [I] JOIN D ON 1=1);"},
        {"UPDATE I SET S=d.L FROM D d WHERE d.ID=1", "UPDATE I SET S=d.L FROM D d WHERE d.ID=1"},
        {"UPDATE [Issue] SET S=1 FROM Issue JOIN D ON 1=1",  // one name, quoted or not
         "UPDATE [Issue] SET S=1 WHERE rowid IN (SELECT Issue.rowid FROM Issue JOIN D ON 1=1)"},
    };
    for (const auto& [tsql, sqlite] : cases) {
        EXPECT_EQ(translateTsql(tsql), sqlite);
    }
}

// On data: + joins texts (a Null nulls the whole), TOP limits its own select, a moved ? keeps
// its value, UPDATE ... FROM ... LEFT JOIN closes only the orphans; texts compare as SQL Server
// compares them, ignoring case and trailing blanks.
TEST(TsqlDialect, RunsOnTheEmbeddedEngine) {
    test::OpenState s;
    s.exec("INSERT INTO Driver (ID,LastName,Suffix) VALUES (1,'Doe',NULL),(2,'Roe','Jr.')");
    s.exec(
        "INSERT INTO Issues (ID,Category,ItemID,Status) VALUES (1,'Driver',1,'Open'),"
        "(2,'Driver',9,'Open'),(3,'Vehicle',9,'Open'),(4,'Driver',2,'Open')");
    EXPECT_TRUE(s.scalar("SELECT 'a' + NULL").isNull());
    s.exec("INSERT INTO Vehicle (Unit) VALUES (''), (' '), ('  '), ('x '), (NULL)");
    for (const auto& [where, n] : {std::pair{"Unit<>''", 1},
                                   {"Unit = ' '", 3},
                                   {"Vehicle.Unit != ''", 1},
                                   {"(Unit = 'X ')", 1}}) {
        EXPECT_EQ(s.count(std::string("SELECT COUNT(*) FROM Vehicle WHERE ") + where), n) << where;
    }
    EXPECT_EQ(s.scalar("SELECT ? + LastName + ' ' + ISNULL(Suffix,'') + RIGHT('x'+ID,1) FROM "
                       "Driver WHERE ID=?",
                       {"D: ", 2})
                  .asText(),
              "D: Roe Jr.2");
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM Issues WHERE ID IN (SELECT TOP 2 ID FROM Issues WHERE "
                      "ID IN (SELECT TOP 3 ID FROM Issues ORDER BY ID DESC) ORDER BY ID) OR ID=1"),
              3);
    EXPECT_EQ(s.count("SELECT TOP ? ID FROM Issues WHERE Category = ? AND ID > ? ORDER BY ID",
                      {1, "Driver", 1}),
              2);
    s.exec(
        "UPDATE Issues SET Status=? FROM Issues LEFT JOIN Driver ON Issues.ItemID=Driver.ID "
        "WHERE Issues.Category=? AND Driver.ID IS NULL",
        {"Closed", "Driver"});
    s.exec(
        "UPDATE i SET i.Status='Gone' FROM Issues AS i LEFT JOIN Driver d ON i.ItemID=d.ID "
        "WHERE i.Category='Vehicle' AND d.ID IS NULL");
    EXPECT_EQ(s.scalar("SELECT group_concat(ID || Status, ',') FROM (SELECT * FROM Issues ORDER "
                       "BY ID)")
                  .asText(),
              "1Open,2Closed,3Gone,4Open");
}

// DATEDIFF counts the boundaries crossed, as SQL Server does; DATEADD keeps the day or falls to
// a shorter month's end; CONVERT 101 is mm/dd/yyyy; LEFT and RIGHT count characters; Null in
// gives Null out; bad input is an error naming the function and saying why ("!").
TEST(TsqlFunctions, GiveSqlServerResults) {
    const Case cases[] = {
        {"DATEDIFF(MINUTE, '2027-03-15 10:00:59', '2027-03-15 10:01:00')", "1"},
        {"DATEDIFF(n, '2027-03-15 10:01:00', '3/15/2027 10:00:59 AM')", "-1"},
        {"DATEDIFF(day, '2028-02-28 23:59:59', '2028-03-01')", "2"},
        {"DATEADD(month, 1, '2027-01-31')", "2027-02-28 00:00:00"},
        {"DATEADD(day, 1, '2000-02-28')", "2000-02-29 00:00:00"},  // centuries: only /400 leap
        {"DATEADD(day, 1, '2100-02-28')", "2100-03-01 00:00:00"},
        {"CONVERT(VARCHAR, '2027-03-05 23:59:59', 101)", "03/05/2027"},
        {"CONVERT(VARCHAR, 'not a date', 101)", "not a date"},
        {"RIGHT('1FUJGLDR5CLBP8834', 6) + LEFT('abc', 10)", "BP8834abc"},
        {"LEFT('Müller', 2) + RIGHT('Müller', 5)", "Müüller"},
        {"ISNULL(DATEADD(day, NULL, '2027-03-15'), 'null')", "null"},
        {"ISNULL(DATEDIFF(day, 'x', NULL), 'null')", "null"},
        {"ISNULL(CONVERT(VARCHAR, NULL, 101), 'null') + ISNULL(LEFT(NULL, 2), '')", "null"},
        {"DATEADD(day, 30, '2000-01-01') < GETDATE()", "1"},
        {"DATEDIFF(minute, '2027-02-30', '2027-03-15')", "!DATEDIFF: '2027-02-30' is not a date"},
        {"DATEADD(fortnight, 1, '2027-03-15')", "!'fortnight' is not a date part"},
        {"DATEADD(day, 1, '9999-12-31')", "!leaves the years 1 to 9999"},
        {"CONVERT(VARCHAR, '2027-03-15', 999)", "!date style 999 is not supported"},
        {"RIGHT('abc', -1)", "!RIGHT: the length -1 is negative"},
    };
    test::OpenState s;
    for (const auto& [sql, expected] : cases) {
        std::string got;
        try {
            got = s.scalar(std::string("SELECT ") + sql).asText();
        } catch (const std::exception& e) {
            got = e.what();
        }
        if (expected[0] == '!') {
            EXPECT_NE(got.find(expected + 1), std::string::npos) << sql << " gave " << got;
        } else {
            EXPECT_EQ(got, expected) << sql;
        }
    }
}

}  // namespace
}  // namespace fas::db
