#include <gtest/gtest.h>

#include <fstream>

#include "db/Database.h"
#include "db/Errors.h"
#include "support/TestDatabase.h"

namespace fas::db {
namespace {

using fas::test::OpenState;

bool lost(const std::function<void()>& statement) {
    try {
        statement();
    } catch (const DatabaseError& e) {
        return e.connectionLost();
    }
    ADD_FAILURE() << "the statement did not fail";
    return false;
}

TEST(Database, OpeningNeverCreatesTheFileNorThrows) {
    fas::test::TempDir dir;
    Database missing("sqlite:missing.db", dir.path());
    EXPECT_FALSE(missing.OpenDatabase());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing.db"));
    EXPECT_NE(missing.lastOpenError().find("missing.db"), std::string::npos);
    std::ofstream(dir.path() / "junk.db") << "this is not a database at all, not even close";
    EXPECT_FALSE(Database("sqlite:junk.db", dir.path()).OpenDatabase());
    fas::test::TempDatabase file;
    Database db("sqlite:" + file.file().filename().string(), file.dir());
    EXPECT_TRUE(db.OpenDatabase()) << db.lastOpenError();
    EXPECT_FALSE(db.OpenDatabase()) << "an open connection gives false";
    EXPECT_TRUE(lost([] { Database().execute("UPDATE Issues SET Status='Closed'"); }));
}

TEST(Database, ValuesAreBoundAndNullStaysNull) {
    OpenState s;
    const std::string hostile = "x'); DELETE FROM Issues; --";
    s.exec("INSERT INTO Issues (ID,Description) VALUES (1,'keep me')");
    s.exec("INSERT INTO Issues (ID,Category,Description,ItemDesc,DueDate) VALUES (?,?,?,?,?)",
           {2, hostile, "O'Brien", Value(), DateTime{2027, 3, 15, 0, 0, 0}});
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM Issues"), 2);
    Recordset rs = s.db().query("SELECT * FROM Issues WHERE Category = ?", {hostile});
    ASSERT_FALSE(rs.eof());
    EXPECT_EQ(rs.text("Description"), "O'Brien");
    EXPECT_TRUE(rs.value("ItemDesc").isNull()) << "a Null must stay Null, never become ''";
    EXPECT_EQ(rs.dateTime("DueDate"), DateTime::fromDate(2027, 3, 15));
    EXPECT_THROW(s.exec("SELECT * FROM Issues WHERE ID = ?"), DatabaseError);
    EXPECT_THROW(s.exec("SELECT * FROM Issues WHERE ID = ?", {1, 2}), DatabaseError);
}

TEST(Database, ReadErrorsNameTheColumnAndStatement) {
    OpenState s;
    s.exec("INSERT INTO Company (Name, Fax, AutomationServerPoll) VALUES ('Acme', NULL, 40000)");
    Recordset rs = s.db().query("SELECT TOP 1 * FROM Company");
    try {
        (void)rs.value("NoSuchColumn");
        FAIL();
    } catch (const DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("NoSuchColumn"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("FROM Company"), std::string::npos) << e.what();
    }
    try {
        (void)rs.text("Fax");
        FAIL();
    } catch (const ConversionError& e) {
        EXPECT_NE(std::string(e.what()).find("Fax"), std::string::npos) << e.what();
    }
    EXPECT_THROW((void)rs.int16("AutomationServerPoll"), ConversionError);
    EXPECT_EQ(rs.joined("Fax"), "");
}

// A walk over a recordset sees the rows as they were when it was read.
TEST(Database, RecordsetsAreStatic) {
    OpenState s;
    s.exec("INSERT INTO Issues (ID,Status) VALUES (1,'Open'),(2,'Open')");
    int seen = 0;
    for (Recordset rs = s.db().query("SELECT ID FROM Issues WHERE Status='Open'"); !rs.eof();
         rs.moveNext()) {
        ++seen;
        s.exec("INSERT INTO Issues (Status) VALUES ('Open')");
    }
    EXPECT_EQ(seen, 2);
}

TEST(Database, UnitsAndTransactionsRollBackEveryChange) {
    OpenState s;
    s.exec("INSERT INTO Issues (ID,Status) VALUES (1,'Open')");
    s.db().beginTransaction();
    s.exec("UPDATE Issues SET Status='Closed'");
    s.db().rollbackTransaction();
    {
        UnitOfWork outer(s.db());
        s.exec("INSERT INTO Issues (ID) VALUES (2)");
        {
            UnitOfWork inner(s.db());  // not committed: only its own change goes
            s.exec("INSERT INTO Issues (ID) VALUES (3)");
        }
        outer.commit();
    }
    {
        UnitOfWork dropped(s.db());
        s.exec("DELETE FROM Issues");
    }
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM Issues"), 2);
    EXPECT_EQ(s.scalar("SELECT Status FROM Issues WHERE ID=1").asText(), "Open");
}

TEST(Database, TheChosenStatementFailsLikeALostConnection) {
    OpenState s;
    s.db().failStatementAsLostConnection(2);
    s.exec("INSERT INTO Issues (ID) VALUES (1)");
    EXPECT_TRUE(lost([&] { s.exec("INSERT INTO Issues (ID) VALUES (2)"); }));
    EXPECT_FALSE(s.db().isOpen());
    ASSERT_TRUE(s.db().OpenDatabase());
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM Issues"), 1);
}

}  // namespace
}  // namespace fas::db
