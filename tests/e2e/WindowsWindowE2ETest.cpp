// The Windows window under Wine, drawn into an Xvfb display of its own and driven through its own
// messages by window-probe, as a person would click it.

#include <fstream>
#include <regex>

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

    ProcessSpec window(const Site& site) const {
        const auto program =
            std::filesystem::path(WindowsServer()).parent_path() / "automation-server-window.exe";
        return {FAS_SOURCE_DIR "/tests/windows/run-under-wine",
                {program.string(), "--config", site.config().string(), "--pickup-dir",
                 site.pickup().string()},
                env_,
                std::nullopt,
                true};
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

// The first run's line at load, Do Tasks adding one in front, Clear emptying the box, the layout
// at 96 dpi, a second copy refused in its box, Exit ending the program, and a broken config.txt
// said in a box.
TEST_F(WindowsWindow, RunsAtLoadAddsLinesOnClickClearsAndRefusesASecondCopy) {
    Site site(DemoTemplate());
    BackgroundProcess first(window(site));
    EXPECT_EQ(probe({"wait"}), "Ferrow Automation Server 7.16 - Test\n") << first.err();
    EXPECT_EQ(probe({"layout"}), "729x466 results 8,8 713x417\n");
    const std::regex line(
        R"([0-9/]+ [0-9:]+ [AP]M  - Emails: \d+  Issues Created: \d+  Issues Closed: \d+)");
    const std::string loaded = probe({"text"});
    EXPECT_EQ(Lines(loaded), 2u) << loaded;  // the line, its CR LF, and the probe's own line end
    EXPECT_TRUE(std::regex_search(loaded, line)) << loaded;

    probe({"click", "Do Tasks"});
    const std::string clicked = probe({"text"});
    EXPECT_EQ(Lines(clicked), 3u) << clicked;
    EXPECT_EQ(clicked.substr(clicked.find('\n') + 1), loaded) << "newest first";
    EXPECT_EQ(site.count("SELECT COUNT(*) FROM AutomationServer_Log"), 2);

    probe({"click", "Clear"});
    EXPECT_EQ(probe({"text"}), "\n");

    BackgroundProcess second(window(site));
    EXPECT_THAT(probe({"box", "Application Already Running"}),
                testing::StartsWith("This application is already running.\n"));
    EXPECT_EQ(second.stop(0, std::chrono::seconds(30)).exitStatus, 3);

    probe({"click", "Exit"});
    EXPECT_EQ(first.stop(0, std::chrono::seconds(30)).exitStatus, 0);
    EXPECT_EQ(site.count("SELECT COUNT(*) FROM AutomationServer_Log"), 2);

    // A broken config.txt: said in a box with the window's caption, no window, status 2.
    std::ofstream(site.config(), std::ios::trunc) << "\"only a header\"\r\n";
    BackgroundProcess broken(window(site));
    EXPECT_THAT(probe({"box", "Ferrow Automation Server 7.16"}), HasSubstr("config.txt"));
    EXPECT_EQ(broken.stop(0, std::chrono::seconds(30)).exitStatus, 2);
}

// Started without options, the console server hands its arguments over to the window program as
// given: a folder named with a blank arrives whole.
TEST_F(WindowsWindow, TheServerWithoutOptionsHandsItsArgumentsToTheWindow) {
    Site site(DemoTemplate());
    const auto folder = site.dir() / "pick up";
    BackgroundProcess console(server(site, {"--pickup-dir", folder.string()}, env_));
    EXPECT_EQ(probe({"wait"}), "Ferrow Automation Server 7.16 - Test\n") << console.err();
    EXPECT_THAT(probe({"text"}), HasSubstr("Issues Created: "));
    probe({"click", "Exit"});
    EXPECT_EQ(console.stop(0, std::chrono::seconds(30)).exitStatus, 0);
    EXPECT_FALSE(FilesIn(folder).empty()) << "the first run's messages go there";
}

}  // namespace
}  // namespace fas::test
