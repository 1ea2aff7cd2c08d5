// The ODBC backend against a real driver: the SQLite ODBC driver through unixODBC, registered in
// a private odbcinst.ini so nothing under /etc is needed or touched.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "db/Connection.h"
#include "db/Database.h"
#include "db/Errors.h"
#include "db/OdbcValues.h"
#include "db/Recordset.h"
#include "support/TestDatabase.h"

namespace fas::db {
namespace {

namespace fs = std::filesystem;

fs::path firstExisting(std::initializer_list<const char*> candidates) {
    for (const char* candidate : candidates) {
        if (fs::exists(candidate)) {
            return candidate;
        }
    }
    return {};
}

struct OdbcDrivers {
    bool sqlite = false;
    bool freeTds = false;
};

// Writes the private driver registry once per process and points unixODBC at it.
const OdbcDrivers& registerDrivers() {
    static fas::test::TempDir dir;
    static const OdbcDrivers drivers = [] {
        const fs::path sqlite =
            firstExisting({"/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so",
                           "/usr/lib/aarch64-linux-gnu/odbc/libsqlite3odbc.so",
                           "/usr/lib/odbc/libsqlite3odbc.so", "/usr/lib64/libsqlite3odbc.so"});
        const fs::path freeTds = firstExisting({"/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so",
                                                "/usr/lib/aarch64-linux-gnu/odbc/libtdsodbc.so",
                                                "/usr/lib/odbc/libtdsodbc.so"});
        std::ofstream ini(dir.path() / "odbcinst.ini");
        if (!sqlite.empty()) {
            ini << "[SQLite3]\nDriver=" << sqlite.string() << "\n\n";
        }
        if (!freeTds.empty()) {
            ini << "[FreeTDS]\nDriver=" << freeTds.string() << "\n\n";
        }
        ini.close();
        std::ofstream(dir.path() / "odbc.ini").close();
        setenv("ODBCSYSINI", dir.path().c_str(), 1);
        return OdbcDrivers{!sqlite.empty(), !freeTds.empty()};
    }();
    return drivers;
}

class OdbcTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!registerDrivers().sqlite) {
            GTEST_SKIP() << "the SQLite ODBC driver (libsqliteodbc) is not installed";
        }
    }

    std::string connectionString() const {
        return "Driver=SQLite3;Database=" + (dir_.path() / "odbc.db").string() + ";";
    }

    std::unique_ptr<Connection> open() { return openOdbcConnection(connectionString(), 5); }

    static std::int64_t count(Connection& c, std::string_view table) {
        const ResultSet rs = c.query("SELECT COUNT(*) AS N FROM " + std::string(table), {});
        return Recordset("count", rs).int64("N");
    }

    fas::test::TempDir dir_;
};

const std::string kAwkwardText =
    "Zo\xC3\xAB's Stra\xC3\x9F"
    "e \xE2\x9C\x93 \xF0\x9D\x84\x9E";

TEST_F(OdbcTest, BindsValuesAndReadsRowsByNameWithNullsAndDates) {
    auto c = open();
    c->execute(
        "CREATE TABLE Unit (ID INTEGER PRIMARY KEY, Name TEXT, Due DATETIME, Miles INTEGER, "
        "Active BIT, Rate REAL, Note TEXT)",
        {});
    const DateTime due{2027, 3, 15, 10, 30, 5};
    const std::string insert =
        "INSERT INTO Unit (ID, Name, Due, Miles, Active, Rate, Note) VALUES (?, ?, ?, ?, ?, ?, ?)";
    c->execute(insert, {1, kAwkwardText, due, 120000, 1, 2.5, nullptr});
    c->execute(insert, {2, "", nullptr, nullptr, 0, nullptr, "x"});

    Recordset rs(
        "units",
        c->query("SELECT ID, Name, Due, Miles, Active, Rate, Note FROM Unit ORDER BY ID", {}));
    ASSERT_EQ(rs.rowCount(), 2u);
    EXPECT_EQ(rs.value("name"), Value(kAwkwardText));
    EXPECT_EQ(rs.value("Due"), Value(due));
    EXPECT_EQ(rs.value("Miles"), Value(120000));
    EXPECT_EQ(rs.value("Active"), Value(1));
    EXPECT_EQ(rs.value("Rate"), Value(2.5));
    EXPECT_TRUE(rs.value("Note").isNull()) << rs.value("Note").debugString();
    rs.moveNext();
    EXPECT_EQ(rs.value("Name"), Value("")) << "empty text is not Null";
    EXPECT_TRUE(rs.value("Due").isNull());
    EXPECT_TRUE(rs.value("Miles").isNull());
    EXPECT_TRUE(rs.value("Rate").isNull());
    EXPECT_EQ(rs.value("Active"), Value(0));

    // Bound values select rows: the apostrophe and the non-ASCII text match exactly; the date
    // compares as a date.
    const ResultSet byName = c->query("SELECT ID FROM Unit WHERE Name = ?", {kAwkwardText});
    ASSERT_EQ(byName.rowCount(), 1u);
    EXPECT_EQ(byName.cell(0, 0), Value(1));
    const ResultSet byDate =
        c->query("SELECT ID FROM Unit WHERE Due <= ?", {DateTime{2027, 3, 15, 10, 30, 5}});
    EXPECT_EQ(byDate.rowCount(), 1u);
    EXPECT_TRUE(c->query("SELECT ID FROM Unit WHERE Due < ?", {due.date()}).rowCount() == 0);
}

TEST_F(OdbcTest, LongTextsSurviveWhole) {
    auto c = open();
    c->execute("CREATE TABLE Body (ID INTEGER PRIMARY KEY, Text TEXT)", {});
    // 10,000 characters with two- to four-byte ones, so reads are pieced across chunk borders.
    std::string text;
    for (int i = 0; i < 2500; ++i) {
        text += "a\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E";
    }
    c->execute("INSERT INTO Body (ID, Text) VALUES (?, ?)", {1, text});
    const ResultSet rs = c->query("SELECT Text FROM Body WHERE ID = ?", {1});
    ASSERT_EQ(rs.rowCount(), 1u);
    ASSERT_NE(rs.cell(0, 0).text(), nullptr);
    EXPECT_EQ(rs.cell(0, 0).text()->size(), text.size());
    EXPECT_TRUE(*rs.cell(0, 0).text() == text);
}

TEST_F(OdbcTest, UpdatesThatTouchNothingSucceedAndFailuresNameTheStatement) {
    auto c = open();
    c->execute("CREATE TABLE T (ID INTEGER PRIMARY KEY, Name TEXT)", {});
    EXPECT_NO_THROW(c->execute("UPDATE T SET Name = ? WHERE ID = ?", {"x", -1}));
    EXPECT_NO_THROW(c->execute("DELETE FROM T WHERE ID = ?", {-1}));
    EXPECT_TRUE(c->query("SELECT ID FROM T WHERE ID = ?", {-1}).rowCount() == 0);

    try {
        c->query("SELECT Nope FROM MissingTable WHERE ID = ?", {1});
        FAIL() << "a bad statement must throw";
    } catch (const DatabaseError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("in statement: SELECT Nope FROM MissingTable"), std::string::npos)
            << message;
        EXPECT_NE(message.find("MissingTable"), message.rfind("MissingTable"))
            << "the driver's own text is missing: " << message;
        EXPECT_FALSE(e.connectionLost());
    }
    EXPECT_THROW(c->execute("INSERT INTO T (ID, Name) VALUES (?, ?)", {1}), DatabaseError);
    EXPECT_EQ(count(*c, "T"), 0);
}

TEST_F(OdbcTest, TransactionsCommitRollBackAndNeverOutliveTheConnection) {
    auto c = open();
    c->execute("CREATE TABLE T (ID INTEGER PRIMARY KEY)", {});
    c->beginTransaction();
    c->execute("INSERT INTO T (ID) VALUES (?)", {1});
    c->rollbackTransaction();
    EXPECT_EQ(count(*c, "T"), 0);

    c->beginTransaction();
    c->execute("INSERT INTO T (ID) VALUES (?)", {2});
    c->commitTransaction();
    c->execute("INSERT INTO T (ID) VALUES (?)", {3});  // autocommit again
    c.reset();
    c = open();
    EXPECT_EQ(count(*c, "T"), 2);

    // Closed in the middle of a transaction: nothing of it stays.
    c->beginTransaction();
    c->execute("INSERT INTO T (ID) VALUES (?)", {4});
    c.reset();
    c = open();
    EXPECT_EQ(count(*c, "T"), 2);
}

TEST_F(OdbcTest, FailedConnectsThrowAndNeverShowThePassword) {
    const std::string missingDir = (dir_.path() / "S3cret!" / "x.db").string();
    std::vector<std::string> attempts = {
        "Driver=NoSuchDriver;Server=127.0.0.1;UID=sa;PWD=S3cret!;",
        // The driver repeats the file name, which holds the password.
        "Driver=SQLite3;Database=" + missingDir + ";PWD={S3cret!};",
    };
    if (registerDrivers().freeTds) {
        attempts.push_back("Driver=FreeTDS;Server=127.0.0.1;Port=1;UID=sa;PWD=S3cret!;");
        attempts.push_back(
            "Provider=SQLOLEDB;Data Source=127.0.0.1;User ID=sa;Password=S3cret!;Port=1");
    }
    // The OLE DB string is converted for FreeTDS; the variable goes again whatever happens.
    setenv("AUTOMATION_SERVER_ODBC_DRIVER", "FreeTDS", 1);
    const std::unique_ptr<const char, void (*)(const char*)> unsetDriver(
        "AUTOMATION_SERVER_ODBC_DRIVER", [](const char* name) { unsetenv(name); });
    for (const std::string& attempt : attempts) {
        try {
            openOdbcConnection(attempt, 2);
            ADD_FAILURE() << "connected with " << attempt;
        } catch (const DatabaseError& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.find("S3cret"), std::string::npos) << message;
            EXPECT_NE(message.find("Cannot connect"), std::string::npos) << message;
        }
        Database db(attempt, dir_.path());
        EXPECT_FALSE(db.OpenDatabase());
        EXPECT_FALSE(db.lastOpenError().empty());
        EXPECT_EQ(db.lastOpenError().find("S3cret"), std::string::npos) << db.lastOpenError();
    }
}

TEST(OdbcValues, DecimalsAreIntegersOnlyWhenWholeAndInRange) {
    EXPECT_EQ(decimalValue("123456789012", 0), Value(123456789012LL));
    EXPECT_EQ(decimalValue(" +7 ", 0), Value(7));
    EXPECT_EQ(decimalValue("-42", 0), Value(-42));
    EXPECT_EQ(decimalValue("99999999999999999999", 0), Value(1e20));
    EXPECT_EQ(decimalValue("12.50", 2), Value(12.5));
    EXPECT_EQ(decimalValue("12", 2), Value(12.0));
    // SQL Server leaves out the zero before the decimal point.
    EXPECT_EQ(decimalValue("-.25", 2), Value(-0.25));
}

}  // namespace
}  // namespace fas::db
