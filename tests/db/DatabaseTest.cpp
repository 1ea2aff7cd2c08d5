#include <gtest/gtest.h>

#include <fstream>

#include "db/Database.h"
#include "db/Errors.h"
#include "support/Environment.h"
#include "support/Site.h"

namespace fas::db {
namespace {

using fas::test::OpenState;

// The message of the error a statement throws, marked when trying again later may pass and when
// it means the connection is gone.
std::string failure(const std::function<void()>& statement) {
    try {
        statement();
    } catch (const std::exception& e) {
        const auto* db = dynamic_cast<const DatabaseError*>(&e);
        return std::string(e.what()) + (db != nullptr && db->mayPassByItself() ? " [passes]" : "") +
               (db != nullptr && db->connectionLost() ? " [lost]" : "");
    }
    return "no error";
}

TEST(Database, OpeningNeverCreatesTheFileNorThrows) {
    fas::test::TempDir dir;
    Database missing("sqlite:missing.db", dir.path());
    EXPECT_FALSE(missing.OpenDatabase());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing.db"));
    EXPECT_NE(missing.lastOpenError().find("missing.db"), std::string::npos);
    fas::test::Site file;
    Database db("sqlite:" + file.file().filename().string(), file.dir());
    EXPECT_TRUE(db.OpenDatabase()) << db.lastOpenError();
    EXPECT_TRUE(failure([] { Database().execute("DELETE FROM Issues"); }).ends_with("[lost]"));
}

// A file that stops being a database under an open connection (a share gone, a failing disk)
// is a lost connection: the run ends there instead of failing every step after it.
TEST(Database, AFileThatStopsBeingADatabaseIsALostConnection) {
    fas::test::Site s;
    s.exec("PRAGMA journal_mode=DELETE");  // the file read again at each statement, as a share's
    EXPECT_EQ(s.open().count("SELECT COUNT(*) FROM Issues"), 0);
    std::ofstream(s.file(), std::ios::binary | std::ios::in) << std::string(4096, 'x');
    EXPECT_TRUE(failure([&] { s.count("SELECT COUNT(*) FROM Issues"); }).ends_with("[lost]"));
}

// Another program holding the write lock past the query timeout (set by its variable): what
// waited for it fails, naming what it was and the timeout, and the error is its step's alone.
TEST(Database, ALockHeldPastTheQueryTimeoutFailsWhatWaitedNamingTheTimeout) {
    fas::test::Site s;
    const std::string location = "sqlite:" + s.file().filename().string();
    Database holder(location, s.dir()), waiting(location, s.dir());
    fas::test::SetEnvironment("AUTOMATION_SERVER_QUERY_TIMEOUT", "1");
    ASSERT_TRUE(holder.OpenDatabase() && waiting.OpenDatabase());
    fas::test::SetEnvironment("AUTOMATION_SERVER_QUERY_TIMEOUT", std::nullopt);
    holder.beginTransaction();
    const std::string waited = failure([&] { waiting.beginTransaction(); });
    EXPECT_NE(waited.find("the start of a transaction was cancelled"), std::string::npos) << waited;
    EXPECT_NE(waited.find("query timeout of 1 s"), std::string::npos) << waited;
    EXPECT_TRUE(waited.ends_with("[passes]")) << waited;
    // A statement waiting for the same lock: cancelled alike, and it too may pass later.
    const auto wrote = failure([&] { waiting.execute("INSERT INTO Issues (ID) VALUES (9)"); });
    EXPECT_NE(wrote.find("the insert into Issues was cancelled"), std::string::npos) << wrote;
    EXPECT_TRUE(wrote.ends_with("[passes]")) << wrote;
    holder.rollbackTransaction();
}

TEST(Database, ValuesAreBoundAndNullStaysNull) {
    OpenState s;
    const std::string hostile = "x'); DELETE FROM Issues; --";
    s.exec("INSERT INTO Issues (ID,Description) VALUES (1,'keep me')");
    s.exec("INSERT INTO Issues (ID,Category,Description,ItemDesc,DueDate) VALUES (?,?,?,?,?)",
           {2, hostile, "O'Brien", Value(), DateTime{2027, 3, 15, 0, 0, 0}});
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM Issues"), 2);
    Recordset rs = s.db().query("SELECT * FROM Issues WHERE Category = ?", {hostile});
    EXPECT_EQ(rs.text("Description"), "O'Brien");
    EXPECT_TRUE(rs.value("ItemDesc").isNull()) << "a Null must stay Null, never become ''";
    EXPECT_EQ(rs.dateTime("DueDate"), DateTime::fromDate(2027, 3, 15));
    EXPECT_NE(failure([&] { s.exec("SELECT * FROM Issues WHERE ID = ?", {1, 2}); }), "no error");
}

}  // namespace
}  // namespace fas::db
