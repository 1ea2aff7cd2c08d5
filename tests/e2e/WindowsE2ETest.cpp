// What only the Windows server shows, run by the suite's registration on the Windows build under
// Wine: the console's stop and a folder named in any script. Skipped in the Linux registration,
// whose stop the service protocol suite proves. The work itself (rules, closing passes, messages,
// mail over Schannel) is the unit suites', which run under Wine as well.

#include "e2e/Site.h"

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

// A long first-day dispatch through a slow relay, stopped by Ctrl+C: within seconds, with the
// message in flight finished, every accepted message marked and no other (what the stopped run
// says and leaves for the next: ServiceProtocolE2ETest).
TEST_F(WindowsE2E, CtrlCDuringASlowDispatchEndsItWithinSecondsAndLosesNothing) {
    SlowDispatch dispatch;
    BackgroundProcess running(server(dispatch.site, {"--headless"}));
    ASSERT_TRUE(dispatch.underWay()) << running.err();
    const auto stopAt = std::chrono::steady_clock::now();
    const auto stopped = running.stop(2);  // SIGINT: Wine hands it over as the console's Ctrl+C
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::seconds(3));
    EXPECT_EQ(stopped.exitStatus, 0) << stopped.err;
    dispatch.expectStoppedWhole();
}

// Windows names files in UTF-16 and hands arguments over in its ANSI code page: a folder named in
// any script is still found, and named in messages as it is written.
TEST_F(WindowsE2E, AFolderNamedInAnyScriptIsFoundAndNamedAsWritten) {
    Site site(DemoTemplate());
    const std::filesystem::path folder = site.dir() / "Flotte-\u00fc-\u6771";
    std::filesystem::create_directory(folder);
    std::filesystem::copy_file(site.file(), folder / "compliance.db");
    writeConfig(folder, "sqlite:compliance.db");
    auto launch = server(site, {"--once", "--pickup-dir", (folder / "out").string()});
    const auto config = std::find(launch.args.begin(), launch.args.end(), site.config().string());
    *config = (folder / "config.txt").string();
    const auto ran = RunProcess(launch);
    EXPECT_EQ(ran.exitStatus, 0) << ran.err;
    EXPECT_FALSE(FilesIn(folder / "out").empty());
    *config = (folder / "absent.txt").string();
    EXPECT_THAT(RunProcess(launch).err, HasSubstr((folder / "absent.txt").string()));
}

}  // namespace
}  // namespace fas::test
