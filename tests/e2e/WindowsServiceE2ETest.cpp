// The installer and the Windows service under Wine's service control manager, run by the suite's
// registration on the Windows build: installed silently into a prefix of its own, started,
// stopped in the middle of a dispatch, refused a broken config.txt, upgraded, and the product
// removed again.

#include <algorithm>
#include <fstream>
#include <regex>

#include "e2e/Site.h"

namespace fas::test {
namespace {

using testing::HasSubstr;

constexpr const char* kWine = "/usr/lib/wine/wine64";

// SERVICE_STATUS states as `sc query` prints them.
enum State { Stopped = 1, StartPending = 2, StopPending = 3, Running = 4 };

// A Wine prefix of its own with a wineserver that stays, so that a service outlives the command
// that started it. Wine's event log prints each event to the standard error of whoever started
// services.exe, with its type as the debug class (err: an error, warn: a warning, trace:
// information): that file is the Application log here.
class ServicePrefix {
  public:
    ServicePrefix() {
        const std::string env = "WINEDEBUG=-all,err+eventlog,warn+eventlog,trace+eventlog";
        // The prefix made and every process of its making ended first: a new prefix's making
        // starts services.exe twice, and two service control managers would answer sc in turn.
        // Then a persistent server, so that the services outlive each command, and services.exe
        // started once more with its standard error kept.
        const auto made = RunProcess(
            {"/bin/sh",
             {"-c", "mkdir -p \"$WINEPREFIX\" && " + std::string(kWine) +
                        " wineboot --init </dev/null >/dev/null 2>&1 && /usr/lib/wine/wineserver -w"
                        " && /usr/lib/wine/wineserver -p && " +
                        env + " " + kWine + " wineboot </dev/null >/dev/null 2>'" +
                        events_.string() + "'"},
             env_,
             std::nullopt},
            std::chrono::seconds(180));
        EXPECT_EQ(made.exitStatus, 0) << made.err << eventLog();
    }
    ~ServicePrefix() { RunProcess({"/usr/lib/wine/wineserver", {"-k"}, env_, std::nullopt}); }

    ProcessResult wine(std::vector<std::string> args) const {
        return RunProcess({kWine, std::move(args), env_, std::nullopt, true},
                          std::chrono::seconds(120));
    }
    std::filesystem::path installDir() const {
        return root_.path() / "prefix/drive_c/Program Files/Automation Server";
    }
    std::string eventLog() const { return ReadWholeFile(events_); }

    // The service's state, or 0 when there is no such service.
    int state(const std::string& service) const {
        std::smatch m;
        const std::string out = wine({"sc", "query", service}).out;
        return std::regex_search(out, m, std::regex(R"(STATE\s+:\s+(\d))")) ? std::stoi(m[1]) : 0;
    }
    // `sc start` or `sc stop`, then the state the service reached within `limit`.
    int sc(const std::string& command, const std::string& service, int wanted,
           std::chrono::seconds limit = std::chrono::seconds(30)) const {
        wine({"sc", command, service});
        int now = 0;
        Eventually([&] { return (now = state(service)) == wanted; }, limit);
        return now;
    }

  private:
    TempDir root_;
    const std::filesystem::path events_ = root_.path() / "events.log";
    const std::map<std::string, std::optional<std::string>> env_ = {
        {"WINEPREFIX", (root_.path() / "prefix").string()},
        {"WINEDEBUG", "-all"},
        {"WINEDLLOVERRIDES", "mscoree,mshtml="}};
};

// How the Windows server names a file of the Linux machine: through Wine's drive for the root.
std::string WindowsName(const std::filesystem::path& file) {
    std::string name = "Z:" + file.string();
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

class WindowsService : public testing::Test {
  protected:
    void SetUp() override {
        if (WindowsServer() == nullptr || std::getenv("FAS_WINDOWS_MSI") == nullptr ||
            std::getenv("FAS_WINDOWS_NEXT_MSI") == nullptr) {
            GTEST_SKIP() << "the Windows installer is not under test (FAS_WINDOWS_MSI, "
                            "FAS_WINDOWS_NEXT_MSI)";
        }
    }
    static std::string msi() { return WindowsName(std::getenv("FAS_WINDOWS_MSI")); }
};

// From installation to removal: the service waits for its configuration, reaches RUNNING only once
// start-up is done, keeps trying while the database server does not answer, stops within its wait
// hint in the middle of a dispatch with every accepted message marked, stops with status 2 on a
// broken config.txt, and removal takes the programs and the service but neither the edited
// config.txt nor the database.
TEST_F(WindowsService, InstalledConfiguredRunStoppedAndRemovedLosingNothing) {
    SlowDispatch dispatch;
    Site& site = dispatch.site;
    const ServicePrefix prefix;
    ASSERT_EQ(prefix.wine({"msiexec", "/i", msi(), "/qn"}).exitStatus, 0);
    EXPECT_EQ(prefix.state("automation-server"), Stopped)
        << "not started before it is configured"
        << prefix.wine({"sc", "query", "automation-server"}).out;
    // A database server that does not answer, as at boot before SQL Server is up: start-up is
    // tried again, the service stays START_PENDING and still takes a stop.
    const auto config =
        writeConfig(prefix.installDir(),
                    "Driver={FreeTDS};Server=127.0.0.1;Port=1;Database=Fleet;UID=fleet;PWD=secret");
    prefix.sc("start", "automation-server", StartPending);
    const std::string kRefusal = "err:eventlog:ReportEventW L\"Cannot open the database";
    EXPECT_TRUE(Eventually([&] { return prefix.eventLog().find(kRefusal) != std::string::npos; }))
        << prefix.eventLog();
    EXPECT_EQ(prefix.state("automation-server"), StartPending);
    EXPECT_EQ(prefix.sc("stop", "automation-server", Stopped, std::chrono::seconds(10)), Stopped);
    EXPECT_THAT(prefix.eventLog(), testing::Not(HasSubstr("secret")));
    writeConfig(prefix.installDir(), "sqlite:" + WindowsName(site.file()));

    ASSERT_EQ(prefix.sc("start", "automation-server", Running), Running);
    ASSERT_TRUE(dispatch.underWay()) << prefix.eventLog();
    EXPECT_EQ(prefix.sc("stop", "automation-server", Stopped, std::chrono::seconds(10)), Stopped)
        << "within the wait hint";
    EXPECT_THAT(prefix.wine({"sc", "query", "automation-server"}).out,
                testing::ContainsRegex("WIN32_EXIT_CODE +: 0 "));
    dispatch.expectStoppedWhole();
    EXPECT_THAT(prefix.eventLog(),
                HasSubstr("warn:eventlog:ReportEventW L\"Stopped on request in step 84 of 84"));
    EXPECT_THAT(prefix.eventLog(), testing::ContainsRegex("trace:eventlog:ReportEventW "
                                                          "L\"[0-9/]+ [0-9:]+ [AP]M  - Emails: "));

    // A person must mend config.txt: the service stops with status 2 of its own.
    const std::string edited = ReadWholeFile(config);
    { std::ofstream(config, std::ios::trunc) << "\"not a config file\"\n"; }
    EXPECT_EQ(prefix.sc("start", "automation-server", Stopped), Stopped);
    const auto refused = prefix.wine({"sc", "query", "automation-server"}).out;
    EXPECT_THAT(refused, testing::ContainsRegex("WIN32_EXIT_CODE +: 1066 "));
    EXPECT_THAT(refused, testing::ContainsRegex("SERVICE_EXIT_CODE +: 2 "));

    // A later version installed over it: the service as the administrator set it, config.txt
    // as edited.
    { std::ofstream(config, std::ios::trunc) << edited; }
    // As sc config automation-server start= auto does, which Wine's sc lacks.
    const std::string key = R"(HKLM\System\CurrentControlSet\Services\automation-server)";
    prefix.wine({"reg", "add", key, "/v", "Start", "/t", "REG_DWORD", "/d", "2", "/f"});
    const std::string next = WindowsName(std::getenv("FAS_WINDOWS_NEXT_MSI"));
    ASSERT_EQ(prefix.wine({"msiexec", "/i", next, "/qn"}).exitStatus, 0);
    EXPECT_EQ(ReadWholeFile(config), edited);
    EXPECT_THAT(prefix.wine({"reg", "query", key, "/v", "Start"}).out, HasSubstr("0x2"))
        << "automatic start kept";
    EXPECT_EQ(prefix.sc("start", "automation-server", Running), Running);
    EXPECT_EQ(prefix.sc("stop", "automation-server", Stopped, std::chrono::seconds(10)), Stopped);

    // Removal of the upgraded product leaves nothing of the first behind either.
    const std::string database = ReadWholeFile(site.file());
    ASSERT_EQ(prefix.wine({"msiexec", "/x", next, "/qn"}).exitStatus, 0);
    EXPECT_EQ(prefix.state("automation-server"), 0) << "the service is deleted";
    EXPECT_FALSE(std::filesystem::exists(prefix.installDir() / "automation-server.exe"));
    EXPECT_EQ(ReadWholeFile(config), edited);
    EXPECT_EQ(ReadWholeFile(site.file()), database);
}

// Started from a console, --service says how a service is started instead of waiting for a
// service control manager that never calls; a service name Windows cannot take (longer than 64
// characters) is refused before anything is registered.
TEST_F(WindowsService, FromAConsoleServiceSaysHowToRunItAndOddNamesAreRefused) {
    Site site(DemoTemplate());
    const auto result = serve(site, {"--service"});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_THAT(result.err, HasSubstr("sc start automation-server"));
    const auto refused = serve(site, {"--install-service", std::string(65, 'n')});
    EXPECT_EQ(refused.exitStatus, 2) << refused.out;
    EXPECT_THAT(refused.err, HasSubstr("--install-service needs a short name"));
}

}  // namespace
}  // namespace fas::test
