#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "TsqlMemoryDb.h"
#include "db/DateTime.h"
#include "db/Schema.h"
#include "db/TsqlDialect.h"

namespace fas::db {
namespace {

using test::TsqlMemoryDb;
using Row = TsqlMemoryDb::Row;

std::vector<Row> rows(std::initializer_list<std::initializer_list<const char*>> cells) {
    std::vector<Row> out;
    for (const auto& row : cells) {
        Row r;
        for (const char* cell : row) {
            r.push_back(cell == nullptr ? TsqlMemoryDb::Cell{} : TsqlMemoryDb::Cell{cell});
        }
        out.push_back(r);
    }
    return out;
}

// Vehicles and drivers shaped like the compliance tables the rules read.
class DialectOnData : public ::testing::Test {
  protected:
    void SetUp() override {
        db.setUp(
            "CREATE TABLE Vehicle (ID INTEGER PRIMARY KEY, Unit TEXT, VIN TEXT, UnitYear INTEGER,"
            " Make TEXT);"
            "INSERT INTO Vehicle VALUES (1,'T-100','1FUJGLDR5CLBP8834',2019,'Freightliner'),"
            " (2,'T-200','ABC',2021,NULL), (3,'T-300','XY',NULL,'Volvo');"
            "CREATE TABLE Driver (ID INTEGER PRIMARY KEY, LastName TEXT, FirstName TEXT,"
            " Suffix TEXT, Terminated INTEGER);"
            "INSERT INTO Driver VALUES (1,'Doe','John',NULL,0), (2,'Roe','Rick','Jr.',NULL),"
            " (3,'Poe','Pat',NULL,1);"
            "CREATE TABLE Issues (ID INTEGER PRIMARY KEY, Category TEXT, ItemID INTEGER,"
            " Status TEXT, EnteredDate TEXT);"
            "INSERT INTO Issues VALUES (1,'Driver',1,'Open',NULL), (2,'Driver',9,'Open',NULL),"
            " (3,'Vehicle',9,'Open',NULL), (4,'Driver',8,'Open',NULL), "
            "(5,'Driver',3,'Open',NULL);");
    }
    TsqlMemoryDb db;
};

TEST(TsqlDialect, LiteralsQuotedNamesAndCommentsAreKeptByteForByte) {
    const std::string sql =
        "SELECT 'a+b ISNULL( TOP 5 LEFT(x,1) CONVERT(VARCHAR,' AS [p + q], \"ISNULL(\"  ,  "
        "N'it''s + TOP 5' -- ISNULL( a + b TOP 5\n"
        "/* RIGHT( x + y */ FROM t\r\n\tWHERE  x = ?";
    EXPECT_EQ(translateTsql(sql),
              "SELECT 'a+b ISNULL( TOP 5 LEFT(x,1) CONVERT(VARCHAR,' AS [p + q], \"ISNULL(\"  ,  "
              "'it''s + TOP 5' -- ISNULL( a + b TOP 5\n"
              "/* RIGHT( x + y */ FROM t\r\n\tWHERE  x = ?");

    TsqlMemoryDb db;
    EXPECT_EQ(db.run("SELECT 'a+b ISNULL( TOP 5 LEFT(' AS [x + y], N'it''s' -- + ISNULL(\n"),
              rows({{"a+b ISNULL( TOP 5 LEFT(", "it's"}}));
    // Dropping the N of a literal right after another literal must not fuse the two into one.
    EXPECT_EQ(translateTsql("SELECT 'a'N'b'"), "SELECT 'a' 'b'");
}

TEST(TsqlDialect, EachConstructIsRewrittenInPlace) {
    EXPECT_EQ(translateTsql("SELECT ISNULL(Suffix,'') FROM Driver WHERE Suffix IS NULL"),
              "SELECT IFNULL(Suffix,'') FROM Driver WHERE Suffix IS NULL");
    EXPECT_EQ(translateTsql("SELECT Unit + ' | ' + RIGHT (VIN,6) FROM a LEFT JOIN b ON 1=1"),
              "SELECT Unit || ' | ' || tsql_right (VIN,6) FROM a LEFT JOIN b ON 1=1");
    EXPECT_EQ(translateTsql("SELECT TOP 1 * FROM Company"), "SELECT * FROM Company LIMIT 1");
    EXPECT_EQ(translateTsql("SELECT x FROM t WHERE CONVERT(VARCHAR,t.d,101)=CONVERT(VarChar (10),"
                            " u.d , 101)"),
              "SELECT x FROM t WHERE tsql_convert('VARCHAR',t.d,101)=tsql_convert('VarChar(10)',"
              " u.d , 101)");
    EXPECT_EQ(translateTsql("SELECT ID FROM Issues WHERE (DATEADD(day,30,Issues.EnteredDate)"
                            "<GETDATE()) AND ABS(DATEDIFF(MINUTE, a.k, b.d))<2"),
              "SELECT ID FROM Issues WHERE (DATEADD('day',30,Issues.EnteredDate)"
              "<GETDATE()) AND ABS(DATEDIFF('MINUTE', a.k, b.d))<2");
    // A sign and a number's own + stay; so does + next to a number, which adds in SQL Server.
    EXPECT_EQ(translateTsql("SELECT +1, 2.5e+3, x + 1, (+x) FROM t"),
              "SELECT +1, 2.5e+3, x + 1, (+x) FROM t");
}

TEST_F(DialectOnData, PlusJoinsTextsAndANullOperandGivesNull) {
    EXPECT_EQ(db.scalar("SELECT 'a'+'b'"), "ab");
    EXPECT_EQ(db.scalar("SELECT 'a' + NULL"), std::nullopt);
    EXPECT_EQ(db.scalar("SELECT ? + '-' + ?", {Value("x"), Value("y")}), "x-y");
    EXPECT_EQ(db.scalar("SELECT 1 + 2"), "3");
    // The catalog's description expressions: numbers join as text, Null columns null the whole.
    EXPECT_EQ(db.run("SELECT Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make "
                     "AS tmpDescField FROM Vehicle ORDER BY ID"),
              rows({{"T-100 | BP8834 | 2019 Freightliner"}, {nullptr}, {nullptr}}));
    EXPECT_EQ(db.run("SELECT 'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + "
                     "ISNULL(Driver.Suffix,'') FROM Driver WHERE ISNULL(Driver.Terminated,0)=0 "
                     "ORDER BY ID"),
              rows({{"Driver: Doe, John "}, {"Driver: Roe, Rick Jr."}}));
}

TEST_F(DialectOnData, LeftAndRightFunctionsBesideLeftJoin) {
    EXPECT_EQ(db.run("SELECT LEFT(Vehicle.VIN, 3), RIGHT(VIN,6), Driver.LastName FROM Vehicle "
                     "LEFT JOIN Driver ON Vehicle.ID = Driver.ID RIGHT JOIN Issues ON "
                     "Issues.ID = Vehicle.ID WHERE Issues.ID <= 3 ORDER BY Vehicle.ID"),
              rows({{"1FU", "BP8834", "Doe"}, {"ABC", "ABC", "Roe"}, {"XY", "XY", "Poe"}}));
}

TEST_F(DialectOnData, TopLimitsItsOwnSelectOnly) {
    EXPECT_EQ(db.run("SELECT TOP 1 ID FROM Issues ORDER BY ID DESC"), rows({{"5"}}));
    EXPECT_EQ(db.run("SELECT DISTINCT TOP (2) Category FROM Issues ORDER BY Category DESC;"),
              rows({{"Vehicle"}, {"Driver"}}));
    // Nested: each LIMIT closes its own subquery; the outer query is not limited.
    EXPECT_EQ(db.run("SELECT ID FROM Issues WHERE ID IN (SELECT TOP 3 ID FROM Issues WHERE ID IN "
                     "(SELECT TOP 4 ID FROM Issues ORDER BY ID DESC) ORDER BY ID) OR ID = 1 "
                     "ORDER BY ID -- the last ones\n"),
              rows({{"1"}, {"2"}, {"3"}, {"4"}}));
    EXPECT_EQ(translateTsql("SELECT TOP 1 ID FROM T -- first\n"),
              "SELECT ID FROM T LIMIT 1 -- first\n");
    // A moved ? keeps taking the value given for its place.
    EXPECT_EQ(db.run("SELECT TOP ? ID FROM Issues WHERE Category = ? AND ID > ? ORDER BY ID",
                     {Value(2), Value("Driver"), Value(1)}),
              rows({{"2"}, {"4"}}));
    // TOP as a column name is left alone.
    EXPECT_EQ(translateTsql("SELECT Top FROM t ORDER BY Top"), "SELECT Top FROM t ORDER BY Top");
    EXPECT_NE(db.errorOf("SELECT TOP 50 PERCENT ID FROM Issues"), "");
}

TEST_F(DialectOnData, UpdateFromLeftJoinClosesOnlyOrphans) {
    db.run(
        "UPDATE Issues SET Status='Closed' FROM Issues LEFT JOIN Driver ON "
        "Issues.ItemID=Driver.ID WHERE Issues.Category='Driver' AND Driver.ID IS NULL");
    EXPECT_EQ(
        db.run("SELECT ID, Status FROM Issues ORDER BY ID"),
        rows({{"1", "Open"}, {"2", "Closed"}, {"3", "Open"}, {"4", "Closed"}, {"5", "Open"}}));

    // With an alias, a qualified SET target, values bound and a subquery in SET.
    db.run(
        "UPDATE i SET i.Status = ?, EnteredDate=(SELECT MAX(LastName) FROM Driver) FROM "
        "Issues AS i LEFT JOIN Driver d ON i.ItemID=d.ID WHERE i.Category=? AND d.ID IS NULL",
        {Value("Gone"), Value("Vehicle")});
    EXPECT_EQ(db.run("SELECT ID, Status, EnteredDate FROM Issues WHERE Status='Gone'"),
              rows({{"3", "Gone", "Roe"}}));
    EXPECT_EQ(translateTsql("UPDATE Issues SET Status='x' FROM Issues i JOIN Driver ON 1=1;"),
              "UPDATE Issues SET Status='x' WHERE rowid IN (SELECT i.rowid FROM Issues i JOIN "
              "Driver ON 1=1);");
    // Without the target in FROM, the engine's own UPDATE ... FROM applies unchanged.
    const std::string native = "UPDATE Issues SET Status=d.LastName FROM Driver d WHERE d.ID=1";
    EXPECT_EQ(translateTsql(native), native);
}

// The date-expiry notification query as the rules send it, on the compliance schema: rows
// within the window, minus those notified within two minute boundaries of their current date.
TEST(TsqlDialect, NotificationQueryOnTheSchemaSkipsRowsAlreadyNotified) {
    TsqlMemoryDb db;
    db.setUp(schemaSql());
    db.setUp(
        "INSERT INTO Customer (ID,Name) VALUES (1,'Acme');"
        "INSERT INTO Employee (ID,Email) VALUES (1,'cm@example.com');"
        "INSERT INTO ServiceContract (ID,CustomerID,ContractManagerID,Status) VALUES (1,1,1,"
        "'Active');"
        "INSERT INTO Driver (ID,ContractID,LastName,FirstName,MiddleName,Suffix,Terminated,"
        "PassportExpire,PassportExpiration) VALUES"
        " (1,1,'Doe','John','Q',NULL,0,1,'2027-03-15 10:30:00'),"
        " (2,1,'Roe','Rick','',  'Jr.',NULL,1,'2027-03-15'),"
        " (3,1,'Poe','Pat','',NULL,0,1,'2027-03-16'),"
        " (4,1,'Loe','Lou','',NULL,1,1,'2027-03-16'),"
        " (5,1,'Moe','Max','',NULL,0,1,'2027-03-17'),"
        " (6,1,'Noe','Ned','',NULL,0,1,'2027-03-17 00:00:01');"
        "INSERT INTO AutomationServer_Emails (ID,Category,Item,ItemID,ItemKey) VALUES"
        " (7,'Driver','Passport Expire',1,'2027-03-15 10:31:59'),"
        " (8,'Driver','Passport Expire',2,'2027-03-14 23:58:01'),"
        " (9,'Driver','Other Item',3,'2027-03-16');");
    const auto found = db.run(
        "SELECT Driver.*,'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + "
        "Driver.MiddleName + ' ' + ISNULL(Driver.Suffix,'') AS "
        "tmpDescField,ServiceContract.PrimaryContactEmail AS CustomerEmail,Customer.Name AS "
        "CustomerName,Employee.Email AS ContractManagerEmail,ISNULL(PrevEmails.EmailID,0) AS "
        "EmailID,ServiceContract.ID AS ContactID  FROM Driver LEFT JOIN ServiceContract ON "
        "Driver.ContractID = ServiceContract.ID LEFT JOIN Customer ON ServiceContract.CustomerID "
        "= Customer.ID  LEFT JOIN Employee ON ServiceContract.ContractManagerID = Employee.ID  "
        "LEFT JOIN (SELECT ID AS EmailID,ItemID,ItemKey FROM AutomationServer_Emails WHERE "
        "Category = ? AND Item = ?) PrevEmails ON Driver.ID=PrevEmails.ItemID AND "
        "ABS(DATEDIFF(MINUTE, PrevEmails.ItemKey, Driver.PassportExpiration))<2 WHERE "
        "ServiceContract.DisableEmailNotifications<>1 AND ServiceContract.Status='Active' AND "
        "Driver.PassportExpiration <= ? AND ISNULL(Driver.Terminated,0)=0 AND "
        "ISNULL(Driver.Suspended,0)=0 AND ISNULL(Driver.ApplicantOnly,0)=0 AND "
        "ISNULL(Driver.DAOnly,0)=0 AND ISNULL(Driver.PassportExpire,0)=1 ORDER BY Driver.ID",
        {Value("Driver"), Value("Passport Expire"), Value(DateTime::fromDate(2027, 3, 17))});
    const auto column = [&](const char* name) {
        return static_cast<std::size_t>(std::find(db.columns.begin(), db.columns.end(), name) -
                                        db.columns.begin());
    };
    std::vector<Row> picked;
    for (const Row& row : found) {
        picked.push_back(
            {row.at(column("ID")), row.at(column("tmpDescField")), row.at(column("EmailID"))});
    }
    EXPECT_EQ(picked, rows({{"1", "Driver: Doe, John Q ", "7"},
                            {"2", "Driver: Roe, Rick  Jr.", "0"},
                            {"3", "Driver: Poe, Pat  ", "0"},
                            {"5", "Driver: Moe, Max  ", "0"}}));
}

TEST(TsqlDialect, StaleSafetyScoreIssuesByTheServerClock) {
    TsqlMemoryDb db;
    db.setUp(schemaSql());
    const DateTime now = DateTime::nowLocal();
    for (const auto& [id, entered] :
         {std::pair{1, now.addDays(-31)}, std::pair{2, now.addDays(-29)}}) {
        db.run(
            "INSERT INTO Issues (ID,Status,EnteredBy,AUTO_Item,EnteredDate) VALUES "
            "(?,'Open','AUTO SERVER','Safety Score: Unsafe Driving',?)",
            {Value(id), Value(entered)});
    }
    db.run(
        "INSERT INTO Issues (ID,Status,EnteredBy,AUTO_Item,EnteredDate) VALUES "
        "(3,'Open','AUTO SERVER','Safety Score: Crash',?)",
        {Value(now.date().addDays(-40).toIso().substr(0, 10))});
    EXPECT_EQ(db.run("SELECT ID FROM Issues WHERE Status='Open' AND EnteredBy = 'AUTO SERVER' AND "
                     "AUTO_Item LIKE 'Safety Score: %' AND "
                     "(DATEADD(day,30,Issues.EnteredDate)<GETDATE()) ORDER BY ID"),
              rows({{"1"}, {"3"}}));
    EXPECT_EQ(db.run("SELECT TOP 1 * FROM Company"), std::vector<Row>{});
}

TEST(TsqlDialect, NeverFailsOrLoopsOnGarbage) {
    const std::vector<std::string> cases = {"",
                                            "'",
                                            "N'",
                                            "\"abc",
                                            "[abc",
                                            "/* open",
                                            "--",
                                            ")))",
                                            "(((",
                                            "SELECT TOP",
                                            "SELECT TOP (",
                                            "SELECT TOP 1 ) x",
                                            "UPDATE",
                                            "UPDATE T SET",
                                            "UPDATE T SET a=1 FROM",
                                            "CONVERT(",
                                            "CONVERT(VARCHAR(",
                                            "DATEADD(",
                                            "+",
                                            "a +",
                                            "ISNULL",
                                            ";;;",
                                            "SELECT TOP ? x ) (",
                                            "x'y"};
    for (const std::string& sql : cases) {
        EXPECT_NO_THROW(translateTsql(sql)) << sql;
    }
    // Random text over an alphabet rich in what the layer reacts to.
    const std::string alphabet = "'\"[]()+-*/;,.?@ \n\tNTOPSELECTUPDATEFROMSETLEFTISNUL0123x";
    std::mt19937 random(20270315);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> length(0, 80);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < 10000; ++i) {
        std::string sql;
        const int n = length(random);
        for (int j = 0; j < n; ++j) {
            sql += i % 4 == 0 ? static_cast<char>(byte(random)) : alphabet[pick(random)];
        }
        const std::string out = translateTsql(sql);
        if (sql.find_first_of("+(NnTtUu") == std::string::npos) {
            EXPECT_EQ(out, sql) << "nothing to rewrite, so nothing may change";
        }
    }
}

}  // namespace
}  // namespace fas::db
