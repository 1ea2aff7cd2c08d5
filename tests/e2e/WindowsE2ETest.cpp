// What only the Windows server shows, run by the suite's registration on the Windows build under
// Wine: the console's stop, a folder named in any script, and the same work done to the same
// result as the Linux server does it. Skipped in the Linux registration, whose stop the service
// protocol suite proves. Mail over Schannel is the mail suite's, which runs under Wine as well.

#include <regex>

#include "e2e/Site.h"
#include "support/Metrics.h"

namespace fas::test {
namespace {

using testing::HasSubstr;

class WindowsE2E : public testing::Test {
  protected:
    void SetUp() override {
        if (WindowsServer() == nullptr) {
            GTEST_SKIP() << "the Windows server is not under test (FAS_WINDOWS_SERVER)";
        }
    }
};

// A long first-day dispatch through a slow relay, stopped by Ctrl+C: within seconds, the message
// in flight finished, every accepted message marked and no other, the stopped run logged, the
// rest sent by the next run. The console's line ends are Windows'.
TEST_F(WindowsE2E, CtrlCDuringASlowDispatchEndsItWithinSecondsAndLosesNothing) {
    SlowDispatch dispatch;
    const auto metrics = dispatch.site.dir() / "server.prom";
    auto launch = server(dispatch.site, {"--headless"},
                         {{"AUTOMATION_SERVER_METRICS_FILE", metrics.string()}});
    launch.windowsLineEnds = false;
    BackgroundProcess running(launch);
    ASSERT_TRUE(dispatch.underWay()) << running.err();

    const auto stopAt = std::chrono::steady_clock::now();
    const auto stopped = running.stop(StopRequestSignal());
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::seconds(3));
    EXPECT_EQ(stopped.exitStatus, 0) << stopped.err;
    dispatch.expectStoppedWhole();
    EXPECT_THAT(stopped.err, testing::StartsWith("Stopped on request in step 84 of 84"));
    EXPECT_THAT(stopped.out, testing::MatchesRegex("[^\n]*\\(stopped on request in step 84; "
                                                   "the rest waits[^\n]*\r\n"));
    EXPECT_EQ(Sample(ReadWholeFile(metrics), Runs("stopped")), 1);

    dispatch.expectNextRunSendsTheRest();
}

// Windows names files in UTF-16 and hands arguments over in its ANSI code page: a folder named in
// any script is still found, and named in messages as it is written.
TEST_F(WindowsE2E, AFolderNamedInAnyScriptIsFoundAndNamedAsWritten) {
    Site site(DemoTemplate());
    const std::string folder = (site.dir() / "Flotte-\u00fc-\u6771").string();
    std::filesystem::create_directory(std::filesystem::path(folder));
    std::filesystem::copy_file(site.file(), std::filesystem::path(folder + "/compliance.db"));
    writeConfig(std::filesystem::path(folder), "sqlite:compliance.db");
    auto launch = server(site, {"--once", "--pickup-dir", folder + "/out"});
    *std::find(launch.args.begin(), launch.args.end(), site.config().string()) =
        folder + "/config.txt";
    const auto ran = RunProcess(launch);
    EXPECT_EQ(ran.exitStatus, 0) << ran.err;
    EXPECT_THAT(ran.out, HasSubstr("Issues Created: "));
    EXPECT_FALSE(std::filesystem::is_empty(std::filesystem::path(folder + "/out")));
    *std::find(launch.args.begin(), launch.args.end(), folder + "/config.txt") =
        folder + "/absent.txt";
    EXPECT_THAT(RunProcess(launch).err, HasSubstr(folder + "/absent.txt"));
}

// The message files of a pickup folder in order, their dates and identities aside.
std::vector<std::string> MessageFiles(const Site& site) {
    auto names = FilesIn(site.pickup());
    // <time>-<process>-<sequence>-<random>.eml: the sequence orders one run's messages.
    const auto sequence = [](const std::filesystem::path& p) {
        return std::stoi(std::regex_replace(p.filename().string(),
                                            std::regex(R"(^\d+-\d+-\d+-(\d+)-.*)"), "$1"));
    };
    std::sort(names.begin(), names.end(),
              [&](const auto& a, const auto& b) { return sequence(a) < sequence(b); });
    std::vector<std::string> texts;
    for (const auto& name : names) {
        texts.push_back(std::regex_replace(WithoutRunTimes(ReadWholeFile(name)),
                                           std::regex("\r\n(Date|Message-ID): [^\r]*"),
                                           "\r\n$1: <aside>"));
    }
    return texts;
}

// Two copies of one generated database, one run by each platform's server: the same results
// lines, the same rows in every table and the same message files, byte for byte.
TEST_F(WindowsE2E, LinuxAndWindowsDoTheSameWorkToTheSameResult) {
    Site onLinux(DemoTemplate()), onWindows(DemoTemplate());
    auto linuxRun =
        server(onLinux, {"--once", "--verbose", "--pickup-dir", onLinux.pickup().string()});
    linuxRun.program = FAS_SERVER_BINARY;
    linuxRun.args.erase(linuxRun.args.begin());
    linuxRun.windowsLineEnds = false;
    const auto a = RunProcess(linuxRun);
    const auto b =
        serve(onWindows, {"--once", "--verbose", "--pickup-dir", onWindows.pickup().string()});
    ASSERT_EQ(a.exitStatus, 0) << a.err;
    ASSERT_EQ(b.exitStatus, 0) << b.err;
    EXPECT_EQ(WithoutRunTimes(b.out), WithoutRunTimes(a.out));
    EXPECT_EQ(b.err, a.err);
    EXPECT_EQ(WithoutRunTimes(onWindows.contents()), WithoutRunTimes(onLinux.contents()));
    const auto linuxFiles = MessageFiles(onLinux);
    EXPECT_GT(linuxFiles.size(), 10u);
    EXPECT_EQ(MessageFiles(onWindows), linuxFiles);
}

}  // namespace
}  // namespace fas::test
