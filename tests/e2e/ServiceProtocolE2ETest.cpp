#include <gmock/gmock.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "e2e/Site.h"

namespace fas {
namespace {

using testing::StartsWith;

// The service manager's end of the notification protocol: a datagram socket NOTIFY_SOCKET names.
class NotifySocket {
  public:
    explicit NotifySocket(const std::filesystem::path& path) : path_(path) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
            throw std::runtime_error("cannot bind " + path.string());
        }
    }
    ~NotifySocket() { ::close(fd_); }
    // Reads messages until one starts with `prefix`; false after `timeout` without one.
    bool waitFor(std::string_view prefix,
                 std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
        pollfd p{fd_, POLLIN, 0};
        while (::poll(&p, 1, static_cast<int>(timeout.count())) == 1) {
            char buffer[4096];
            const auto n = ::recv(fd_, buffer, sizeof(buffer), 0);
            seen.emplace_back(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
            if (seen.back().starts_with(prefix)) {
                return true;
            }
        }
        return false;
    }
    std::map<std::string, std::optional<std::string>> environment() const {
        // A watchdog of 2 s: the server must report in at least every second while it waits.
        return {{"NOTIFY_SOCKET", path_.string()},
                {"WATCHDOG_USEC", "2000000"},
                {"WATCHDOG_PID", std::nullopt}};
    }
    std::vector<std::string> seen;

  private:
    std::filesystem::path path_;
    int fd_ = -1;
};

// A site started as the service manager starts it.
test::ProcessSpec service(const test::Site& site, std::vector<std::string> args,
                          const NotifySocket* notify = nullptr) {
    args.insert(args.end(), {"--pickup-dir", site.pickup().string()});
    return test::server(site, args,
                        notify ? notify->environment() : decltype(test::ProcessSpec::env){});
}

// What a run leaves behind, row counts by table and kind.
std::string counts(test::Site& site) {
    return site.contents({"SELECT COUNT(*), SUM(Status='Open') FROM Issues",
                          "SELECT COUNT(*), SUM(EmailSent=1) FROM AutomationServer_EmailsSent",
                          "SELECT COUNT(*) FROM AutomationServer_Emails",
                          "SELECT COUNT(*) FROM AutomationServer_Log"}) +
           std::to_string(site.pickedUp().size()) + " messages";
}

TEST(ServiceProtocolE2E, ReadyStatusWatchdogAndStoppingReachTheServiceManager) {
    test::Site site(test::DemoTemplate());
    NotifySocket notify(site.dir() / "notify");
    test::BackgroundProcess server(service(site, {"--headless"}, &notify));

    ASSERT_TRUE(notify.waitFor("READY=1")) << server.err();
    EXPECT_EQ(notify.seen, std::vector<std::string>{"READY=1"});  // nothing before start-up ends
    ASSERT_TRUE(notify.waitFor("STATUS="));
    EXPECT_GT(std::count(notify.seen.begin(), notify.seen.end(), "WATCHDOG=1"), 10)
        << "between the catalog steps of the run";
    ASSERT_TRUE(server.waitForOutput("\n", std::chrono::seconds(10)));
    EXPECT_EQ(notify.seen.back(), "STATUS=" + server.out().substr(0, server.out().find('\n')));

    notify.seen.clear();
    EXPECT_TRUE(notify.waitFor("WATCHDOG=1", std::chrono::seconds(3)))
        << "while waiting for a tick";
    const auto stopped = server.stop(SIGTERM);
    EXPECT_EQ(stopped.exitStatus, 0) << stopped.err;
    EXPECT_TRUE(notify.waitFor("STOPPING=1", std::chrono::seconds(1)));
}

TEST(ServiceProtocolE2E, SigtermMidRunLeavesWhatTheNextRunCompletesAsOneRunWould) {
    test::Site reference(test::DemoTemplate());
    ASSERT_EQ(test::RunProcess(service(reference, {"--once"})).exitStatus, 0);
    const std::string once = counts(reference);

    // Stopped just after the first step began and further on, the run ends between steps; what
    // the steps did is whole, and the next run completes the rest without doubling anything.
    for (const int heartbeats : {1, 12}) {
        test::Site site(test::DemoTemplate());
        NotifySocket notify(site.dir() / "notify");
        test::BackgroundProcess server(service(site, {"--headless"}, &notify));
        for (int i = 0; i < heartbeats; ++i) {
            ASSERT_TRUE(notify.waitFor("WATCHDOG=1")) << server.err();
        }
        // Read on while it stops: a full notification queue would hold the server up.
        ::kill(server.pid(), SIGTERM);
        EXPECT_TRUE(notify.waitFor("STOPPING=1"));
        const auto stopped = server.stop(SIGTERM);
        EXPECT_EQ(stopped.exitStatus, 0);
        EXPECT_THAT(stopped.err, StartsWith("Stopped on request after step ")) << heartbeats;
        EXPECT_THAT(counts(site), testing::EndsWith("\n0|\n0 messages")) << "no log row, no mail";

        ASSERT_EQ(test::RunProcess(service(site, {"--once"})).exitStatus, 0);
        EXPECT_EQ(counts(site), once) << "stopped after " << heartbeats << " heartbeat(s)";
    }
}

// As systemd connects both streams to the journal and names the stream in JOURNAL_STREAM, each
// line carries its priority: `journalctl -p err` shows the errors.
TEST(ServiceProtocolE2E, LinesCarryTheirPriorityInTheJournal) {
    test::Site site(test::DemoTemplate());
    site.exec("DROP TABLE Training");
    auto launch = service(site, {"--once"});
    launch.args.insert(
        launch.args.begin(),
        {"-c", "exec 2>&1; JOURNAL_STREAM=$(stat -L -c %d:%i /proc/self/fd/2) exec \"$0\" \"$@\"",
         launch.program.string()});
    launch.program = "/bin/sh";
    const std::string out = test::RunProcess(launch).out;
    EXPECT_THAT(out, testing::ContainsRegex("(^|\n)<3>Task run error: [^\n]*Training"));
    EXPECT_THAT(out, testing::ContainsRegex("(^|\n)<6>[0-9/]+ [^\n]* - Emails: "));
    EXPECT_THAT(out, testing::Not(testing::ContainsRegex("(^|\n)[^<]")));
}

}  // namespace
}  // namespace fas
