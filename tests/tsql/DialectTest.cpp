// The embedded engine gives the statements SQL Server's meaning, and waits no longer than the
// query timeout for another program's lock.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "db/Connection.h"
#include "db/Errors.h"
#include "db/TsqlDialect.h"
#include "support/TestDatabase.h"

namespace fas {
namespace {

struct Meaning {
    const char* sql;
    const char* expected;
};

TEST(Dialect, ComparisonsAndNullsMeanWhatSqlServerMeans) {
    test::TempDir dir;
    const auto file = dir.path() / "t.db";
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &raw), SQLITE_OK);
    sqlite3_exec(raw,
                 "CREATE TABLE t (a TEXT COLLATE NOCASE, d TEXT);"
                 "INSERT INTO t (a) VALUES (''), (' '), ('  '), ('x '), (NULL);",
                 nullptr, nullptr, nullptr);
    sqlite3_close(raw);
    auto connection = db::openSqliteConnection(file, 1);
    const Meaning meanings[] = {
        {"SELECT COUNT(*) FROM t WHERE a<>''", "1"},
        {"SELECT COUNT(*) FROM t WHERE a = ' '", "3"},
        {"SELECT COUNT(*) FROM t WHERE t.a != ''", "1"},
        {"SELECT COUNT(*) FROM t WHERE (a = 'X ')", "1"},
        {"SELECT ISNULL(d,'') + 'note' FROM t WHERE a IS NULL", "note"},
    };
    for (const Meaning& m : meanings) {
        const db::ResultSet result = connection->query(db::translateTsql(m.sql), {});
        EXPECT_EQ(result.cell(0, 0).asText(), m.expected) << m.sql;
    }
}

TEST(Dialect, ALockHeldPastTheQueryTimeoutIsANamedTimeout) {
    test::TempDir dir;
    const auto file = dir.path() / "t.db";
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &holder), SQLITE_OK);
    sqlite3_exec(holder, "CREATE TABLE Issues (ID INTEGER); BEGIN IMMEDIATE;", nullptr, nullptr,
                 nullptr);
    auto connection = db::openSqliteConnection(file, 1);
    try {
        connection->execute("INSERT INTO Issues (ID) VALUES (1)", {});
        ADD_FAILURE() << "the insert did not wait for the lock";
    } catch (const db::DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("the insert into Issues was cancelled"),
                  std::string::npos)
            << e.what();
        EXPECT_NE(std::string(e.what()).find("timeout of 1 s"), std::string::npos) << e.what();
    }
    sqlite3_close(holder);
}

}  // namespace
}  // namespace fas
