// Start-up through the real binary: exit statuses, the single-copy lock, and the window with
// config.txt beside the executable.

#include <fstream>

#include "e2e/Site.h"

namespace fas::test {
namespace {

using testing::HasSubstr;

// The sqlite3 shell on the site's file, as another program would use it; its output.
std::string sqlite(const Site& site, const std::string& statement) {
    return RunProcess({"/usr/bin/sqlite3", {site.file().string(), statement}, {}, std::nullopt})
        .out;
}

const std::string kZeroLine =
    "[0-9]+/[0-9]+/[0-9]{4}( [0-9]+:[0-9]{2}:[0-9]{2} [AP]M)?  - Emails: 0  Issues Created: 0  "
    "Issues Closed: 0\n";

TEST(StartupE2E, ExitStatusesSayHowTheRunOrStartUpWent) {
    Site fresh;
    const auto ok = serve(fresh, {"--once"});
    EXPECT_EQ(ok.exitStatus, 0) << ok.err;
    EXPECT_THAT(ok.out, testing::MatchesRegex(kZeroLine));
    EXPECT_EQ(ok.err, "");

    Site gone;
    std::filesystem::remove(gone.config());
    const auto missing = serve(gone, {"--once"});
    EXPECT_EQ(missing.exitStatus, 2);
    EXPECT_THAT(missing.err, HasSubstr(gone.config().string()));
    writeConfig(gone.dir(), "sqlite:absent.db");
    const auto unreachable = serve(gone, {"--once"});
    EXPECT_EQ(unreachable.exitStatus, 2);
    EXPECT_THAT(unreachable.err, HasSubstr("absent.db"));
    EXPECT_EQ(unreachable.out, "");

    EXPECT_EQ(serve(gone, {"--no-such-option"}).exitStatus, 2);

    // A database server that does not answer may come up, as may a lock held past the query
    // timeout (which failed connects may pass is read from the drivers' texts: the db suite's).
    writeConfig(gone.dir(), "Driver={FreeTDS};Server=127.0.0.1;Port=9;UID=a;PWD=b;TDS_Version=7.4");
    EXPECT_EQ(serve(gone, {"--once"}).exitStatus, 75);
    sqlite(fresh, "PRAGMA journal_mode=DELETE");
    BackgroundProcess holder({"/usr/bin/sqlite3",
                              {fresh.file().string(), "BEGIN EXCLUSIVE",
                               "INSERT INTO AutomationServer_Log (LogDate) VALUES ('2026-01-01')",
                               ".shell echo locked; sleep 30"},
                              {},
                              std::nullopt});
    ASSERT_TRUE(holder.waitForOutput("locked", std::chrono::seconds(10))) << holder.err();
    const auto locked = serve(fresh, {"--once"}, {{"AUTOMATION_SERVER_QUERY_TIMEOUT", "1"}});
    EXPECT_EQ(locked.exitStatus, 75) << locked.err;
    EXPECT_THAT(locked.err, HasSubstr("locked"));
}

// The file is the other software's: only a real run's own rows change it. A dry run lists the
// messages a run would send, and sends nothing.
TEST(StartupE2E, CheckDryRunAndAFailedStartUpLeaveTheDatabaseFileByteForByte) {
    Site site(DemoTemplate());
    sqlite(site, "PRAGMA journal_mode=DELETE");
    const std::string before = ReadWholeFile(site.file());
    serve(site, {"--check"});
    const auto listed = serve(site, {"--dry-run"});
    EXPECT_EQ(listed.exitStatus, 0) << listed.err;
    EXPECT_THAT(listed.out, HasSubstr("--- message 1 (not sent)"));
    EXPECT_THAT(listed.out, HasSubstr("(dry run: every change was rolled back)"));
    EXPECT_EQ(serve(site, {"--once"}, {{"AUTOMATION_SERVER_QUERY_TIMEOUT", "0"}}).exitStatus, 2);
    EXPECT_TRUE(ReadWholeFile(site.file()) == before) << "changed";

    EXPECT_EQ(serve(site, {"--once", "--pickup-dir", site.pickup().string()}).exitStatus, 0);
    EXPECT_EQ(sqlite(site, "PRAGMA journal_mode"), "delete\n");
    EXPECT_EQ(site.count("SELECT COUNT(*) FROM AutomationServer_Log"), 1);
}

// Which databases one holder keeps from others, and until when: the start-up suite's.
TEST(StartupE2E, ASecondCopyOnTheSameDatabaseIsRefused) {
    Site site, sameFile;
    writeConfig(sameFile.dir(), "sqlite:" + site.file().string());  // named by its full path
    BackgroundProcess first(server(site, {"--headless"}));
    ASSERT_TRUE(first.waitForOutput("Issues Closed: 0", std::chrono::seconds(30))) << first.err();
    const auto second = serve(sameFile, {"--once"});
    EXPECT_EQ(second.exitStatus, 3);
    EXPECT_THAT(second.err, testing::StartsWith("This application is already running.\n"));
    EXPECT_THAT(second.err, HasSubstr(site.file().string()));
    EXPECT_FALSE(first.stop().timedOut);
}

// Started as a desktop user starts it: no options (the pickup folder aside), config.txt beside the
// program. A broken config.txt: the reason on standard error and in a box that waits for its OK,
// shown by the window program the server hands its arguments to as given, and no further (words
// past the list's end would be garbage or no pointer at all). What the Windows window does once it
// runs: WindowsWindowE2E.
TEST(StartupE2E, TheWindowShowsABrokenConfigInABoxThatWaitsForItsOk) {
    Site site;
    for (const char* name : {"automation-server", "automation-server-window"}) {
        std::filesystem::copy_file(std::filesystem::path(FAS_SERVER_BINARY).parent_path() / name,
                                   site.dir() / name);
    }
    std::ofstream(site.config()) << "\"**** Configuration File - DO NOT Modify by hand****\"\r\n";
    const auto boxed = RunProcess({site.dir() / "automation-server",
                                   {"--pickup-dir", (site.dir() / "out").string()},
                                   {{"QT_QPA_PLATFORM", "offscreen"}},
                                   "/"},
                                  std::chrono::seconds(3));
    EXPECT_TRUE(boxed.timedOut) << "ended without waiting for OK: " << boxed.err;
    EXPECT_THAT(boxed.err, HasSubstr(site.config().string()));
}

}  // namespace
}  // namespace fas::test
