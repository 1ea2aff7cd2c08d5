// The ODBC backend against a real driver: the SQLite ODBC driver through unixODBC, registered in
// a private odbcinst.ini so nothing under /etc is needed or touched.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "db/Connection.h"
#include "db/Database.h"
#include "db/Errors.h"
#include "db/OdbcConnectionString.h"
#include "support/TestDatabase.h"

namespace fas::db {
namespace {

namespace fs = std::filesystem;

class Odbc : public ::testing::Test {
  protected:
    void SetUp() override {
        static const fas::test::TempDir registry;
        static const bool found = [] {
            for (const char* so : {"/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so",
                                   "/usr/lib/aarch64-linux-gnu/odbc/libsqlite3odbc.so"}) {
                if (fs::exists(so)) {
                    std::ofstream(registry.path() / "odbcinst.ini") << "[SQLite3]\nDriver=" << so;
                    std::ofstream(registry.path() / "odbc.ini").close();
                    return setenv("ODBCSYSINI", registry.path().c_str(), 1) == 0;
                }
            }
            return false;
        }();
        if (!found) {
            GTEST_SKIP() << "the SQLite ODBC driver (libsqliteodbc) is not installed";
        }
        c = openOdbcConnection("Driver=SQLite3;Database=" + (dir.path() / "o.db").string(), 5);
    }
    fas::test::TempDir dir;
    std::unique_ptr<Connection> c;
};

// Texts (multi-byte, longer than one read), dates, bits and Null come back as bound.
TEST_F(Odbc, ValuesRoundTrip) {
    c->execute("CREATE TABLE U (ID INTEGER PRIMARY KEY, Name TEXT, Due DATETIME, Active BIT, R REAL)",
               {});
    std::string awkward = "Zo\xC3\xAB's \xE2\x9C\x93 \xF0\x9D\x84\x9E";
    std::string longText;
    for (int i = 0; i < 2500; ++i) {
        longText += "a\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E";
    }
    const DateTime due{2027, 3, 15, 10, 30, 5};
    const std::string insert = "INSERT INTO U (ID, Name, Due, Active, R) VALUES (?, ?, ?, ?, ?)";
    c->execute(insert, {1, awkward, due, 1, 2.5});
    c->execute(insert, {2, "", nullptr, 0, nullptr});
    c->execute(insert, {3, longText, nullptr, nullptr, nullptr});
    Recordset rs("u", c->query("SELECT * FROM U ORDER BY ID", {}));
    EXPECT_EQ(rs.value("name"), Value(awkward));
    EXPECT_EQ(rs.value("Due"), Value(due));
    EXPECT_EQ(rs.value("Active"), Value(1));
    EXPECT_EQ(rs.value("R"), Value(2.5));
    rs.moveNext();
    EXPECT_EQ(rs.value("Name"), Value("")) << "empty text is not Null";
    EXPECT_TRUE(rs.value("Due").isNull());
    EXPECT_EQ(rs.value("Active"), Value(0));
    rs.moveNext();
    EXPECT_TRUE(rs.text("Name") == longText);
    EXPECT_EQ(c->query("SELECT ID FROM U WHERE Name = ?", {awkward}).rowCount(), 1u);
    EXPECT_EQ(c->query("SELECT ID FROM U WHERE Due < ?", {due.date()}).rowCount(), 0u);
    c->beginTransaction();
    c->execute("DELETE FROM U", {});
    c->rollbackTransaction();
    EXPECT_EQ(c->query("SELECT ID FROM U", {}).rowCount(), 3u);
    try {
        c->query("SELECT Nope FROM Missing WHERE ID = ?", {1});
        FAIL();
    } catch (const DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("in statement: SELECT Nope FROM Missing"),
                  std::string::npos)
            << e.what();
        EXPECT_FALSE(e.connectionLost());
    }
}

TEST_F(Odbc, FailedConnectsNeverShowThePassword) {
    for (const std::string& attempt :
         {std::string("Driver=NoSuchDriver;UID=sa;PWD=S3cret!;"),
          "Driver=SQLite3;Database=" + (dir.path() / "S3cret!" / "x.db").string() +
              ";PWD={S3cret!};"}) {
        Database db(attempt, dir.path());
        EXPECT_FALSE(db.OpenDatabase());
        EXPECT_NE(db.lastOpenError().find("Cannot connect"), std::string::npos)
            << db.lastOpenError();
        EXPECT_EQ(db.lastOpenError().find("S3cret"), std::string::npos) << db.lastOpenError();
    }
}

TEST(OdbcConnectionString, OleDbIsConvertedAndOdbcLeftAlone) {
    unsetenv("AUTOMATION_SERVER_ODBC_DRIVER");
    const struct {
        const char* given;
        const char* odbc;
    } cases[] = {
        {"Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Password=pw;"
         "Initial Catalog=Fleet;Data Source=SRV01\\SQLEXPRESS",
         "Driver={ODBC Driver 18 for SQL Server};UID=sa;PWD=pw;Database=Fleet;"
         "Server=SRV01\\SQLEXPRESS;"},
        {"provider=MSOLEDBSQL19;data source=(local);INTEGRATED SECURITY=SSPI;initial  catalog=F",
         "Driver={ODBC Driver 18 for SQL "
         "Server};Server=(local);Trusted_Connection=yes;Database=F;"},
        {"Provider=sqloledb;Data Source=s;User ID='O''Brien';Password=\"a;b}c\";Application Name=x",
         "Driver={ODBC Driver 18 for SQL Server};Server=s;UID=O'Brien;PWD={a;b}}c};APP=x;"},
        {"Provider=MSDASQL.1;DSN=Fleet;UID=a", "DSN=Fleet;UID=a;"},
        {"DSN=Fleet;UID=a;PWD={p;w}", "DSN=Fleet;UID=a;PWD={p;w}"},
        {"Provider=Microsoft.ACE.OLEDB.12.0;x=y", "Provider=Microsoft.ACE.OLEDB.12.0;x=y"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toOdbcConnectionString(c.given), c.odbc);
    }
    setenv("AUTOMATION_SERVER_ODBC_DRIVER", "{FreeTDS}", 1);
    EXPECT_EQ(toOdbcConnectionString("Provider=SQLOLEDB;Data Source=d"),
              "Driver={FreeTDS};Server=d;");
    unsetenv("AUTOMATION_SERVER_ODBC_DRIVER");
}

TEST(OdbcConnectionString, PasswordsAreRemovedFromMessages) {
    const struct {
        const char* input;
        const char* expected;
    } cases[] = {
        {"Driver=X;UID=sa;PWD=S3cret!;Server=y", "Driver=X;UID=sa;PWD=***;Server=y"},
        {"Provider=SQLOLEDB;Password=\"S3;cret\";Data Source=y",
         "Provider=SQLOLEDB;Password=***;Data Source=y"},
        {"pwd={S3;cr}}et};Server=y", "pwd=***;Server=y"},
        {"Password =\tS3cret!\r\n", "Password =\t***\r\n"},
        {"PasswordHint=kept;OldPwd=kept", "PasswordHint=kept;OldPwd=kept"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(redactConnectionString(c.input), c.expected) << c.input;
    }
    const std::string message =
        removePasswords("Cannot open /srv/S3cret!.db and {S3;cret}} as user sa; PWD=S3cret!",
                        "Driver=X;UID=sa;PWD=S3cret!;Password={S3;cret}}}");
    EXPECT_EQ(message.find("S3"), std::string::npos) << message;
}

}  // namespace
}  // namespace fas::db
