#include <gtest/gtest.h>

#include <fstream>

#include "startup/Startup.h"
#include "support/TestDatabase.h"

namespace fas::startup {
namespace {

std::filesystem::path writeConfig(const std::filesystem::path& dir, const std::string& location,
                                  const std::string& caption = "Test Site") {
    const auto file = dir / "config.txt";
    std::ofstream(file, std::ios::binary)
        << "\"**** Configuration File - DO NOT Modify by hand****\"\r\n\"Database Location\",\""
        << location << "\"\r\n\"Caption\",\"" << caption << "\"\r\n";
    return file;
}

void insertCompany(const test::TempDatabase& database, const db::Value& name, int poll) {
    ServerState writer;
    database.attach(writer);
    ASSERT_TRUE(writer.db.OpenDatabase());
    writer.db.execute(
        "INSERT INTO Company (Name,AutomationServerPoll,AutomationServerEmailFrom,"
        "AutomationServerEmailServer,AutomationServerEmailServerPort,AutomationServerEmailUser,"
        "AutomationServerEmailPassword,AutomationServerEmailUseSSLTLS,"
        "AutomationServerEmailFooter) VALUES (?,?,'a@b.test','smtp','25','','',0,'')",
        {name, poll});
    writer.db.CloseDatabase();
}

TEST(Startup, ReadyLoadsTheSettingsClosesTheConnectionAndHoldsTheLock) {
    test::TempDatabase database;
    insertCompany(database, "Ferrow", 7);
    // A relative sqlite: path resolves against the directory of config.txt.
    const auto config = writeConfig(database.dir(), "sqlite:compliance.db", "Depot 3");

    ServerState state;
    auto result = StartServer(state, config);
    ASSERT_EQ(result.status, StartupStatus::Ready) << result.message;
    EXPECT_TRUE(result.lock);
    EXPECT_FALSE(state.db.isOpen());
    EXPECT_EQ(state.CaptionSuffix, "Depot 3");
    EXPECT_EQ(state.company.Name, "Ferrow");
    EXPECT_EQ(state.company.AutomationServerPoll, 7);
    EXPECT_EQ(ExitStatusOf(result.status), 0);

    // A second copy on the same database is refused with the fixed text; another database's
    // server starts beside it.
    ServerState second;
    const auto refused = StartServer(second, config);
    EXPECT_EQ(refused.status, StartupStatus::AlreadyRunning);
    EXPECT_EQ(refused.message, "This application is already running.");
    EXPECT_EQ(ExitStatusOf(refused.status), 3);
    EXPECT_FALSE(second.db.isOpen());

    test::TempDatabase otherDatabase;
    ServerState third;
    const auto other =
        StartServer(third, writeConfig(otherDatabase.dir(), otherDatabase.location()));
    EXPECT_EQ(other.status, StartupStatus::Ready) << other.message;
}

TEST(Startup, FailuresSayWhatWentWrongAndEndWithStatus2) {
    test::TempDatabase database;
    test::TempDir dir;

    ServerState noConfig;
    const auto missing = StartServer(noConfig, dir.path() / "config.txt");
    EXPECT_EQ(missing.status, StartupStatus::BadConfig);
    EXPECT_NE(missing.message.find((dir.path() / "config.txt").string()), std::string::npos);
    EXPECT_EQ(ExitStatusOf(missing.status), 2);

    // The database is never opened when config.txt is short.
    std::ofstream(dir.path() / "short.txt")
        << "\"h\"\r\n\"l\",\"" << database.location() << "\"\r\n";
    ServerState shortConfig;
    const auto cut = StartServer(shortConfig, dir.path() / "short.txt");
    EXPECT_EQ(cut.status, StartupStatus::BadConfig);
    EXPECT_EQ(shortConfig.db.statementsIssued(), 0U);

    ServerState unreachable;
    const auto gone = StartServer(
        unreachable, writeConfig(dir.path(), "sqlite:" + (dir.path() / "absent.db").string()));
    EXPECT_EQ(gone.status, StartupStatus::DatabaseUnreachable);
    EXPECT_NE(gone.message.find("absent.db"), std::string::npos) << gone.message;
    EXPECT_FALSE(gone.lock);
    EXPECT_EQ(ExitStatusOf(gone.status), 2);

    insertCompany(database, nullptr, 5);
    ServerState badCompany;
    const auto company = StartServer(badCompany, writeConfig(database.dir(), database.location()));
    EXPECT_EQ(company.status, StartupStatus::BadCompanySettings);
    EXPECT_NE(company.message.find("column Name"), std::string::npos) << company.message;
    EXPECT_FALSE(badCompany.db.isOpen());
    EXPECT_EQ(ExitStatusOf(company.status), 2);
    // The failed start-up does not keep the database locked.
    EXPECT_TRUE(InstanceLock::acquire(database.location(), database.dir()));
}

}  // namespace
}  // namespace fas::startup
