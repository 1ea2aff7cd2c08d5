// The Windows window under Wine, drawn into an Xvfb display of its own and driven through its own
// messages by window-probe, as a person would click it.

#include <fstream>

#include "e2e/Site.h"

namespace fas::test {
namespace {

using testing::HasSubstr;

std::size_t Lines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class WindowsWindow : public testing::Test {
  protected:
    void SetUp() override {
        const char* probe = std::getenv("FAS_WINDOW_PROBE");
        if (WindowsServer() == nullptr || probe == nullptr || !std::filesystem::exists(probe) ||
            !std::filesystem::exists("/usr/bin/Xvfb")) {
            GTEST_SKIP() << "the Windows window is not under test (FAS_WINDOW_PROBE, Xvfb)";
        }
        probe_ = probe;
        display_.emplace(
            ProcessSpec{"/usr/bin/Xvfb",
                        {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
                        {},
                        std::nullopt});
        ASSERT_TRUE(display_->waitForOutput("\n", std::chrono::seconds(10))) << display_->err();
        env_ = {{"DISPLAY", ":" + display_->out().substr(0, display_->out().find('\n'))},
                {"FAS_WINEPREFIX", (prefix_.path() / "prefix").string()}};
    }

    std::string probe(std::vector<std::string> args) const {
        args.insert(args.begin(), probe_);
        const auto result = RunProcess({FAS_SOURCE_DIR "/tests/windows/run-under-wine",
                                        std::move(args), env_, std::nullopt, true},
                                       std::chrono::seconds(90));
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        return result.out;
    }

    std::string probe_;
    TempDir prefix_;
    std::optional<BackgroundProcess> display_;
    std::map<std::string, std::optional<std::string>> env_;
};

// Started without options, the console server hands its arguments to the window program whole (a
// folder named with a blank): the first run's line at load, Do Tasks adding one in front, Clear
// emptying the box, a second copy refused in its box, Exit ending the program, and a broken
// config.txt said in a box, each ending with the window's status.
TEST_F(WindowsWindow, RunsAtLoadAddsLinesOnClickClearsAndRefusesASecondCopy) {
    Site site(DemoTemplate());
    const auto folder = site.dir() / "pick up";
    const auto window = server(site, {"--pickup-dir", folder.string()}, env_);
    BackgroundProcess first(window);
    EXPECT_EQ(probe({"wait"}), "Ferrow Automation Server 7.16 - Test\n") << first.err();
    const std::string loaded = probe({"text"});
    EXPECT_EQ(Lines(loaded), 2u) << loaded;  // the line, its CR LF, and the probe's own line end
    EXPECT_THAT(loaded, testing::ContainsRegex("[0-9/]+ [0-9:]+ [AP]M  - Emails: [0-9]+  Issues "
                                               "Created: [0-9]+  Issues Closed: [0-9]+\n"));
    EXPECT_FALSE(FilesIn(folder).empty()) << "the first run's messages go there";

    probe({"click", "Do Tasks"});
    const std::string clicked = probe({"text"});
    EXPECT_EQ(Lines(clicked), 3u) << clicked;
    EXPECT_EQ(clicked.substr(clicked.find('\n') + 1), loaded) << "newest first";
    EXPECT_EQ(site.count("SELECT COUNT(*) FROM AutomationServer_Log"), 2);
    probe({"click", "Clear"});
    EXPECT_EQ(probe({"text"}), "\n");

    BackgroundProcess second(window);
    EXPECT_THAT(probe({"box", "Application Already Running"}),
                testing::StartsWith("This application is already running.\n"));
    EXPECT_EQ(second.stop(0, std::chrono::seconds(30)).exitStatus, 3);
    probe({"click", "Exit"});
    EXPECT_EQ(first.stop(0, std::chrono::seconds(30)).exitStatus, 0);

    std::ofstream(site.config(), std::ios::trunc) << "\"only a header\"\r\n";
    BackgroundProcess broken(window);
    EXPECT_THAT(probe({"box", "Ferrow Automation Server 7.16"}), HasSubstr("config.txt"));
    EXPECT_EQ(broken.stop(0, std::chrono::seconds(30)).exitStatus, 2);
}

}  // namespace
}  // namespace fas::test
