#include <gtest/gtest.h>

#include <fstream>

#include "db/Database.h"
#include "db/Errors.h"
#include "support/TestDatabase.h"

namespace fas::db {
namespace {

using fas::test::OpenState;
using fas::test::TempDatabase;
using fas::test::TempDir;

TEST(OpenDatabase, OpensOnceAndClosesQuietly) {
    TempDatabase file;
    Database db(file.location(), file.dir());
    EXPECT_TRUE(db.OpenDatabase());
    EXPECT_EQ(db.engine(), Engine::Sqlite);
    EXPECT_FALSE(db.OpenDatabase()) << "an open connection must give false";
    db.CloseDatabase();
    db.CloseDatabase();  // closing a closed connection is ignored
    EXPECT_FALSE(db.isOpen());
    EXPECT_TRUE(db.OpenDatabase());
}

TEST(OpenDatabase, RelativeSqlitePathResolvesAgainstTheConfigDirectory) {
    TempDatabase file;
    Database db("sqlite:" + file.file().filename().string(), file.dir());
    EXPECT_TRUE(db.OpenDatabase()) << db.lastOpenError();
}

TEST(OpenDatabase, NeverCreatesAMissingFileAndNeverThrows) {
    TempDir dir;
    Database db("sqlite:missing.db", dir.path());
    EXPECT_FALSE(db.OpenDatabase());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing.db"));
    EXPECT_NE(db.lastOpenError().find("missing.db"), std::string::npos) << db.lastOpenError();

    std::ofstream(dir.path() / "junk.db") << "this is not a database at all, not even close";
    Database junk("sqlite:junk.db", dir.path());
    EXPECT_FALSE(junk.OpenDatabase());
}

TEST(Statements, ClosedConnectionIsAnErrorThatMeansTheConnectionIsGone) {
    Database db;
    try {
        db.execute("UPDATE Issues SET Status='Closed'");
        FAIL() << "expected an error";
    } catch (const DatabaseError& e) {
        EXPECT_TRUE(e.connectionLost());
    }
}

TEST(Statements, ValuesAreBoundNeverPastedIntoTheText) {
    OpenState s;
    const std::string hostile = "x'); DELETE FROM Issues; --";
    s.exec("INSERT INTO Issues (ID,Category,Description) VALUES (1,'Driver','keep me')");
    s.exec(
        "INSERT INTO Issues (ID,Category,Description,ItemDesc,DueDate,ItemID) VALUES (?,?,?,?,?,?)",
        {2, hostile, "O'Brien", Value(), DateTime{2027, 3, 15, 0, 0, 0}, 77});
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM Issues"), 2);
    Recordset rs = s.db().query("SELECT * FROM Issues WHERE Category = ?", {hostile});
    ASSERT_FALSE(rs.eof());
    EXPECT_EQ(rs.text("Description"), "O'Brien");
    EXPECT_TRUE(rs.value("ItemDesc").isNull()) << "a Null must stay Null, never become ''";
    EXPECT_EQ(rs.dateTime("DueDate"), DateTime::fromDate(2027, 3, 15));
    EXPECT_EQ(rs.int64("ItemID"), 77);
}

TEST(Statements, WrongNumberOfValuesIsAnError) {
    OpenState s;
    EXPECT_THROW(s.exec("SELECT * FROM Issues WHERE ID = ?"), DatabaseError);
    EXPECT_THROW(s.exec("SELECT * FROM Issues WHERE ID = ?", {1, 2}), DatabaseError);
}

TEST(Recordsets, AreStaticWhileStatementsChangeTheTable) {
    OpenState s;
    for (int id = 1; id <= 3; ++id) {
        s.exec("INSERT INTO Issues (ID,Status) VALUES (?,'Open')", {id});
    }
    Recordset rs = s.db().query("SELECT ID FROM Issues WHERE Status='Open' ORDER BY ID");
    int seen = 0;
    for (; !rs.eof(); rs.moveNext()) {
        ++seen;
        // Closing and adding rows while walking must not change what the walk sees.
        s.exec("UPDATE Issues SET Status='Closed' WHERE ID = ?", {rs.int64("ID")});
        s.exec("INSERT INTO Issues (Status) VALUES ('Open')");
    }
    EXPECT_EQ(seen, 3);
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM Issues WHERE Status='Open'"), 3);
}

TEST(Recordsets, UnknownColumnAndConversionErrorsNameColumnAndStatement) {
    OpenState s;
    s.exec("INSERT INTO Company (Name, Fax, AutomationServerPoll) VALUES ('Acme', NULL, 40000)");
    Recordset rs = s.db().query("SELECT TOP 1 * FROM Company");
    ASSERT_FALSE(rs.eof());
    try {
        (void)rs.value("NoSuchColumn");
        FAIL();
    } catch (const DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("NoSuchColumn"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("FROM Company"), std::string::npos);
    }
    try {
        (void)rs.text("Fax");
        FAIL();
    } catch (const ConversionError& e) {
        EXPECT_NE(std::string(e.what()).find("Fax"), std::string::npos);
    }
    EXPECT_THROW((void)rs.int16("AutomationServerPoll"), ConversionError);
    EXPECT_EQ(rs.int32("AutomationServerPoll"), 40000);
    EXPECT_EQ(rs.joined("Fax"), "");
    rs.moveNext();
    EXPECT_TRUE(rs.eof());
    EXPECT_THROW((void)rs.value("Name"), DatabaseError);
}

TEST(Transactions, RollbackUndoesEveryChange) {
    OpenState s;
    s.exec("INSERT INTO Issues (ID,Status) VALUES (1,'Open')");
    s.db().beginTransaction();
    s.exec("UPDATE Issues SET Status='Closed'");
    s.exec("INSERT INTO Issues (ID,Status) VALUES (2,'Open')");
    s.db().rollbackTransaction();
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM Issues"), 1);
    EXPECT_EQ(s.scalar("SELECT Status FROM Issues WHERE ID=1").asText(), "Open");
}

TEST(TestHook, TheChosenStatementFailsLikeALostConnection) {
    OpenState s;
    s.db().failStatementAsLostConnection(2);
    s.exec("INSERT INTO Issues (ID) VALUES (1)");
    try {
        s.exec("INSERT INTO Issues (ID) VALUES (2)");
        FAIL();
    } catch (const DatabaseError& e) {
        EXPECT_TRUE(e.connectionLost());
    }
    EXPECT_FALSE(s.db().isOpen());
    ASSERT_TRUE(s.db().OpenDatabase());
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM Issues"), 1);
}

}  // namespace
}  // namespace fas::db
