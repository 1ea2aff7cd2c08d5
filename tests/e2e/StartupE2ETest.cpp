#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "startup/InstanceLock.h"
#include "support/ProcessRunner.h"
#include "support/TestDatabase.h"

namespace fas {
namespace {

using testing::HasSubstr;
using testing::MatchesRegex;

const std::filesystem::path kServer = FAS_SERVER_BINARY;
constexpr const char* kZeroLine =
    "[0-9]+/[0-9]+/[0-9]{4}( [0-9]+:[0-9]{2}:[0-9]{2} [AP]M)?  - Emails: 0  Issues Created: 0  "
    "Issues Closed: 0\n";

std::filesystem::path writeConfig(const std::filesystem::path& dir, const std::string& location) {
    const auto file = dir / "config.txt";
    std::ofstream(file, std::ios::binary)
        << "\"**** Configuration File - DO NOT Modify by hand****\"\r\n\"Database Location\",\""
        << location << "\"\r\n\"Caption\",\"E2E\"\r\n";
    return file;
}

test::ProcessResult server(std::vector<std::string> args) {
    return test::RunProcess({kServer, std::move(args), {}, std::nullopt});
}

test::ProcessResult once(const std::filesystem::path& config) {
    return server({"--once", "--config", config.string()});
}

void execute(const test::TempDatabase& database, const std::string& sql) {
    ServerState s;
    database.attach(s);
    ASSERT_TRUE(s.db.OpenDatabase());
    s.db.execute(sql);
    s.db.CloseDatabase();
}

std::int64_t logRows(const test::TempDatabase& database) {
    ServerState s;
    database.attach(s);
    EXPECT_TRUE(s.db.OpenDatabase());
    const auto n = s.db.query("SELECT COUNT(*) AS N FROM AutomationServer_Log").int64("N");
    s.db.CloseDatabase();
    return n;
}

TEST(StartupE2E, OnceOnAFreshDatabasePrintsOneZeroLineAndWritesOneLogRow) {
    test::TempDatabase database;
    // A relative sqlite: path resolves against the directory of config.txt.
    const auto result = once(writeConfig(database.dir(), "sqlite:compliance.db"));
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_THAT(result.out, MatchesRegex(kZeroLine));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(logRows(database), 1);
}

TEST(StartupE2E, OnceReportsARunErrorWithStatus1AndStillLogsTheRun) {
    test::TempDatabase database;
    execute(database, "DROP TABLE ServiceContract");
    const auto result = once(writeConfig(database.dir(), database.location()));
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_THAT(result.out, HasSubstr("Issues Closed: 0  Errors: 1 ("));
    EXPECT_THAT(result.err, HasSubstr("ServiceContract"));
    EXPECT_EQ(logRows(database), 1);
}

TEST(StartupE2E, StartupFailuresEndWithStatus2AndSayWhy) {
    test::TempDir dir;
    const auto missing = server({"--once", "--config", (dir.path() / "config.txt").string()});
    EXPECT_EQ(missing.exitStatus, 2);
    EXPECT_THAT(missing.err, HasSubstr((dir.path() / "config.txt").string()));
    EXPECT_EQ(missing.out, "");

    const auto unreachable =
        once(writeConfig(dir.path(), "sqlite:" + (dir.path() / "absent.db").string()));
    EXPECT_EQ(unreachable.exitStatus, 2);
    EXPECT_THAT(unreachable.err, HasSubstr("absent.db"));
    EXPECT_EQ(unreachable.out, "");

    test::TempDatabase database;
    execute(database, "INSERT INTO Company (Name,AutomationServerPoll) VALUES ('Ferrow', 70000)");
    const auto company = once(writeConfig(database.dir(), database.location()));
    EXPECT_EQ(company.exitStatus, 2);
    EXPECT_THAT(company.err, HasSubstr("AutomationServerPoll"));
    EXPECT_EQ(logRows(database), 0);

    EXPECT_EQ(server({"--once", "--no-such-option"}).exitStatus, 2);
    const auto help = server({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_THAT(help.out, HasSubstr("--pickup-dir DIR"));
}

TEST(StartupE2E, ASecondCopyOnTheSameDatabaseIsRefused) {
    test::TempDatabase database;
    test::TempDatabase other;
    const auto config = writeConfig(database.dir(), database.location());

    test::BackgroundProcess first(
        {kServer, {"--headless", "--config", config.string()}, {}, std::nullopt});
    ASSERT_TRUE(first.waitForOutput("Issues Closed: 0", std::chrono::seconds(30))) << first.err();

    const auto second = once(config);
    EXPECT_EQ(second.exitStatus, 3);
    EXPECT_EQ(second.err, "This application is already running.\n");
    EXPECT_EQ(second.out, "");
    EXPECT_EQ(logRows(database), 1);

    // A server of another database runs beside it.
    EXPECT_EQ(once(writeConfig(other.dir(), other.location())).exitStatus, 0);

    // Once the first copy is stopped, the database is free again.
    const auto stopped = first.stop();
    EXPECT_FALSE(stopped.timedOut);
    EXPECT_EQ(once(config).exitStatus, 0);
    EXPECT_EQ(logRows(database), 2);
}

TEST(StartupE2E, TheWindowRunsAtLoadAndAnUnreachableDatabaseLeavesATrace) {
    test::TempDatabase database;
    const std::map<std::string, std::optional<std::string>> offscreen = {
        {"QT_QPA_PLATFORM", "offscreen"}};
    test::BackgroundProcess window(
        {kServer,
         {"--config", writeConfig(database.dir(), database.location()).string()},
         offscreen,
         std::nullopt});
    ASSERT_TRUE(window.waitForOutput("Issues Closed: 0", std::chrono::seconds(30))) << window.err();
    EXPECT_EQ(window.stop().signal, 15);
    EXPECT_GE(logRows(database), 1);

    // No box waits for a click (the process would hang here); the reason goes to standard error.
    test::TempDir dir;
    const auto unreachable = test::RunProcess(
        {kServer,
         {"--config",
          writeConfig(dir.path(), "sqlite:" + (dir.path() / "absent.db").string()).string()},
         offscreen,
         std::nullopt},
        std::chrono::seconds(20));
    EXPECT_FALSE(unreachable.timedOut);
    EXPECT_EQ(unreachable.exitStatus, 2);
    EXPECT_THAT(unreachable.err, HasSubstr("absent.db"));
}

TEST(StartupE2E, ReadsConfigTxtBesideTheExecutable) {
    test::TempDatabase database;
    const auto program = database.dir() / "automation-server";
    std::error_code linkError;
    std::filesystem::create_hard_link(kServer, program, linkError);
    if (linkError) {
        std::filesystem::copy_file(kServer, program);
    }
    writeConfig(database.dir(), "sqlite:compliance.db");
    const auto result = test::RunProcess({program, {"--once"}, {}, std::filesystem::path("/")});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_THAT(result.out, MatchesRegex(kZeroLine));
}

}  // namespace
}  // namespace fas
