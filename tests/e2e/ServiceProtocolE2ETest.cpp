#include <gmock/gmock.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "e2e/Site.h"
#include "support/HttpTestServer.h"
#include "support/Metrics.h"

namespace fas {
namespace {

using testing::StartsWith;

// The service manager's end of the notification protocol: a datagram socket NOTIFY_SOCKET names.
class NotifySocket {
    using Clock = std::chrono::steady_clock;

  public:
    explicit NotifySocket(const std::filesystem::path& path) : path_(path) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        const timeval wait{0, 20000};  // each receive waits at most 20 ms
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait) != 0) {
            throw std::runtime_error("cannot bind " + path.string());
        }
    }
    ~NotifySocket() { ::close(fd_); }
    // Reads messages until one starts with `prefix`; false after `timeout` without one.
    bool waitFor(std::string_view prefix,
                 std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
        for (const auto deadline = Clock::now() + timeout; Clock::now() < deadline;) {
            char buffer[4096];
            if (const auto n = ::recv(fd_, buffer, sizeof(buffer), 0); n > 0) {
                seen.emplace_back(buffer, static_cast<std::size_t>(n));
                when.push_back(Clock::now());
                if (seen.back().starts_with(prefix)) {
                    return true;
                }
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
    // The longest time without a WATCHDOG=1 (READY=1 arms the watchdog) up to now.
    std::chrono::milliseconds longestWatchdogGap() const {
        std::optional<Clock::time_point> last;
        Clock::duration longest{0};
        for (std::size_t i = 0; i < seen.size(); ++i) {
            if (seen[i] == "WATCHDOG=1" || seen[i] == "READY=1") {
                longest = std::max(longest, last ? when[i] - *last : longest);
                last = when[i];
            }
        }
        longest = std::max(longest, Clock::now() - last.value_or(Clock::now()));
        return std::chrono::duration_cast<std::chrono::milliseconds>(longest);
    }
    std::vector<std::string> seen;
    std::vector<Clock::time_point> when;  // of each message seen

  private:
    std::filesystem::path path_;
    int fd_ = -1;
};

// A first day's dispatch through a slow relay: the watchdog hears from the server between
// messages, and a stop ends the dispatch after the message in flight, everything else pending.
// The metrics file holds every series from start-up and then tells of the stopped run; the
// monitor hears nothing of such a run.
TEST(ServiceProtocolE2E, ALongDispatchFeedsTheWatchdogAndAStopEndsItWithinSeconds) {
    test::SlowDispatch dispatch;
    test::Site& site = dispatch.site;
    const double pendingAtStart = static_cast<double>(dispatch.pending());
    const auto file = site.dir() / "server.prom";
    const test::HttpTestServer monitor;
    NotifySocket notify(site.dir() / "notify");
    auto env = notify.environment();
    env["AUTOMATION_SERVER_METRICS_FILE"] = file.string();
    env["AUTOMATION_SERVER_HEARTBEAT_URL"] = monitor.url("/p");
    test::BackgroundProcess server(test::server(site, {"--headless"}, env));
    ASSERT_TRUE(notify.waitFor("READY=1")) << server.err();
    test::Eventually([&] { return std::filesystem::exists(file); });
    const std::string atStart = test::ReadWholeFile(file);  // the run waits on the relay
    EXPECT_EQ(test::Sample(atStart, "automation_server_info{version=\"" FAS_VERSION_TEXT "\"}"), 1);
    EXPECT_NEAR(test::Sample(atStart, "automation_server_start_time_seconds"),
                static_cast<double>(std::time(nullptr)), 30);
    for (const std::string& zero : std::vector<std::string>{
             "automation_server_last_run_timestamp_seconds", "automation_server_last_run_errors",
             "automation_server_last_success_timestamp_seconds",
             "automation_server_emails_sent_total", "automation_server_heartbeat_failures_total",
             "automation_server_outbox_oldest_pending_age_seconds", test::Runs("ok"),
             test::Runs("error"), test::Runs("stopped")}) {
        EXPECT_EQ(test::Sample(atStart, zero), 0) << zero;
    }
    EXPECT_EQ(test::Sample(atStart, "automation_server_outbox_pending_rows"), pendingAtStart);

    notify.waitFor("no such message", std::chrono::seconds(3));
    EXPECT_LE(notify.longestWatchdogGap().count(), 1000) << "half the watchdog's 2 s";
    ASSERT_TRUE(dispatch.underWay()) << server.err();

    const auto stopAt = std::chrono::steady_clock::now();
    const auto stopped = server.stop(SIGTERM);
    const auto took = std::chrono::steady_clock::now() - stopAt;
    EXPECT_EQ(stopped.exitStatus, 0) << stopped.err;
    EXPECT_LT(took, std::chrono::seconds(3));
    dispatch.expectStoppedWhole();
    EXPECT_THAT(stopped.err, StartsWith("Stopped on request in step 84 of 84"));
    EXPECT_THAT(stopped.out, testing::HasSubstr("(stopped on request in step 84; the rest waits"));
    ASSERT_TRUE(notify.waitFor("STATUS=", std::chrono::seconds(1))) << "for systemctl status";
    EXPECT_EQ(notify.seen.back(), "STATUS=" + stopped.out.substr(0, stopped.out.find('\n')));

    const std::string atStop = test::ReadWholeFile(file);
    EXPECT_EQ(test::PromtoolProblems(file), "");
    EXPECT_EQ(test::Sample(atStop, test::Runs("stopped")), 1) << stopped.out;
    EXPECT_EQ(test::Sample(atStop, "automation_server_last_success_timestamp_seconds"), 0);
    EXPECT_TRUE(monitor.requests().empty());
    test::ExpectTotalsAsLogged(atStop, site);
    EXPECT_EQ(test::Sample(atStop, "automation_server_outbox_pending_rows"),
              static_cast<double>(dispatch.pending()));
    EXPECT_GT(test::Sample(atStop, "automation_server_last_run_duration_seconds"), 1);

    dispatch.expectNextRunSendsTheRest();
}

// As systemd connects both streams to the journal and names the stream in JOURNAL_STREAM, each
// line carries its priority: `journalctl -p err` shows the errors.
TEST(ServiceProtocolE2E, LinesCarryTheirPriorityInTheJournal) {
    test::Site site(test::DemoTemplate());
    site.exec("DROP TABLE Training");
    auto launch = test::server(site, {"--once", "--pickup-dir", site.pickup().string()});
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
