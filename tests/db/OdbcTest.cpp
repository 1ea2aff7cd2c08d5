// The ODBC backend against a real driver: the SQLite ODBC driver through unixODBC, registered in
// a private odbcinst.ini so nothing under /etc is needed or touched.
#include <gmock/gmock.h>

#include <fstream>

#include "db/Database.h"
#include "db/Errors.h"
#include "db/OdbcConnectionString.h"
#include "support/Environment.h"
#include "support/Site.h"

namespace fas::db {
namespace {

const char* const kDriver = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";

class Odbc : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(test::HostFile(kDriver))) {
            GTEST_SKIP() << "the SQLite ODBC driver (libsqliteodbc) is not installed";
        }
        std::ofstream(dir.path() / "odbcinst.ini") << "[SQLite3]\nDriver=" << kDriver << "\n";
        test::SetEnvironment("ODBCSYSINI", dir.path().string());
    }
    fas::test::TempDir dir;
};

// Texts (multi-byte, longer than one read), dates, bits and Null come back as bound.
TEST_F(Odbc, ValuesRoundTrip) {
    auto c =
        openOdbcConnection("Driver=SQLite3;Database=" + test::HostName(dir.path() / "o.db"), 5);
    c->execute("CREATE TABLE U (ID INTEGER PRIMARY KEY, Name TEXT, Due DATETIME, B BIT, R REAL)",
               {});
    const std::string awkward = "Zo\xC3\xAB's \xE2\x9C\x93 \xF0\x9D\x84\x9E";
    std::string longText;
    for (int i = 0; i < 2500; ++i) {
        longText += awkward;
    }
    const DateTime due{2027, 3, 15, 10, 30, 5};
    const std::vector<Params> rows = {{1, awkward, due, 1, 2.5},
                                      {2, "", Value(), 0, Value()},  // empty text is not Null
                                      {3, longText, Value(), Value(), Value()}};
    for (const Params& row : rows) {
        c->execute("INSERT INTO U (ID, Name, Due, B, R) VALUES (?, ?, ?, ?, ?)", row);
    }
    const ResultSet back = c->query("SELECT * FROM U ORDER BY ID", {});
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t i = 0; i < rows[r].size(); ++i) {
            EXPECT_TRUE(back.cell(r, i) == rows[r][i])
                << r << "," << i << back.cell(r, i).debugString();
        }
    }
    // A failed statement is no lost connection: the run goes on to its next step.
    EXPECT_THAT(
        [&] { c->query("SELECT Nope FROM Missing WHERE ID = ?", {1}); },
        testing::Throws<DatabaseError>(testing::Property(&DatabaseError::connectionLost, false)));
}

TEST_F(Odbc, FailedConnectsNeverShowThePassword) {
    const std::string inPath = test::HostName(dir.path()) + "/S3cret!/x.db";
    for (const std::string& attempt :
         {std::string("Driver=NoSuchDriver;UID=sa;PWD=S3cret!;"),
          "Driver=SQLite3;Database=" + inPath + ";PWD={S3cret!};",
          std::string("Provider=SQLOLEDB;Data Source=x;User ID=sa;Password=\"S3;cret\"")}) {
        Database db(attempt, dir.path());
        EXPECT_FALSE(db.OpenDatabase());
        EXPECT_NE(db.lastOpenError().find("Cannot connect"), std::string::npos);
        EXPECT_EQ(db.lastOpenError().find("S3cret"), std::string::npos) << db.lastOpenError();
    }
    // Echoed by a driver anywhere, as written or as quoted in the string, a password is removed.
    EXPECT_EQ(removePasswords("echo {S3;c}}ret} and S3;c}ret", "DSN=x;PWD={S3;c}}ret}").find("S3"),
              std::string::npos);
}

TEST(OdbcConnectionString, OleDbIsConvertedOdbcLeftAloneAndPasswordsMasked) {
    test::SetEnvironment("AUTOMATION_SERVER_ODBC_DRIVER", std::nullopt);
    const std::pair<const char*, const char*> cases[] = {
        // Any value but SSPI, true or yes keeps the SQL log-in the site wrote; an empty segment
        // (";;", a hand edit) carries nothing; a value may end in "=" (a base64 password).
        {"Provider=SQLOLEDB.1;Persist Security Info=False;;User ID=sa;Password=cHc=;"
         "Integrated Security=False;"
         "Initial Catalog=Fleet;Data Source=SRV01\\SQLEXPRESS",
         "Driver={ODBC Driver 18 for SQL Server};UID=sa;PWD={cHc=};Database=Fleet;"
         "Server=SRV01\\SQLEXPRESS;"},
        {"provider=MSOLEDBSQL19;data source=(local);INTEGRATED SECURITY=SSPI;initial  catalog=F",
         "Driver={ODBC Driver 18 for SQL "
         "Server};Server=(local);Trusted_Connection=yes;Database=F;"},
        {"Provider=sqloledb;Data Source=s;User ID='O''Brien';Password=\"a;b}c\";Application Name=x;"
         "Integrated Security=true",
         "Driver={ODBC Driver 18 for SQL Server};Server=s;UID=O'Brien;PWD={a;b}}c};APP=x;"
         "Trusted_Connection=yes;"},
        {"Provider=MSDASQL.1;DSN=Fleet;UID=a", "DSN=Fleet;UID=a;"},
        {"DSN=Fleet;UID=a;PWD={p;w}", "DSN=Fleet;UID=a;PWD={p;w}"},
    };
    for (const auto& [given, odbc] : cases) {
        EXPECT_EQ(toOdbcConnectionString(given), odbc);
    }
    // The driver a site names instead, bare or braced as a connection string writes it.
    for (const char* named : {"FreeTDS", " { FreeTDS } "}) {
        test::SetEnvironment("AUTOMATION_SERVER_ODBC_DRIVER", named);
        EXPECT_EQ(toOdbcConnectionString("Provider=SQLOLEDB;Data Source=s"),
                  "Driver={FreeTDS};Server=s;");
    }
    test::SetEnvironment("AUTOMATION_SERVER_ODBC_DRIVER", std::nullopt);
    // The location as messages name it: every password masked, however it is quoted.
    EXPECT_EQ(redactConnectionString("Driver={X};PWD={p;w}};x};Server=a;Password = 'q;r';apwd=k"),
              "Driver={X};PWD=***;Server=a;Password = ***;apwd=k");
}

// The connection lost in the middle of a unit leaves nothing of the unit, and the next run's open
// connects again without a restart.
TEST_F(Odbc, ALostConnectionLeavesNothingAndTheNextOpenReconnects) {
    const auto file = dir.path() / "o.db";
    Database db("Driver=SQLite3;Database=" + test::HostName(file), dir.path());
    ASSERT_TRUE(db.OpenDatabase()) << db.lastOpenError();
    db.execute("CREATE TABLE T (ID INTEGER)");
    db.execute("INSERT INTO T (ID) VALUES (1), (2)");
    db.beginUnit();
    db.execute("INSERT INTO T (ID) VALUES (3)");
    db.failStatementAsLostConnection(1);
    EXPECT_THAT(
        [&] { db.execute("INSERT INTO T (ID) VALUES (4)"); },
        testing::Throws<DatabaseError>(testing::Property(&DatabaseError::connectionLost, true)));
    db.rollbackUnit();
    db.CloseDatabase();
    ASSERT_TRUE(db.OpenDatabase()) << db.lastOpenError();
    EXPECT_EQ(db.query("SELECT COUNT(*) AS N FROM T").int64("N"), 2);
}

}  // namespace
}  // namespace fas::db
