#include <gmock/gmock.h>
#include <signal.h>

#include "e2e/Site.h"
#include "support/HttpTestServer.h"
#include "support/Metrics.h"

namespace fas {
namespace {

using testing::HasSubstr;
using testing::StartsWith;

// The service manager's end of the notification protocol, the datagram socket NOTIFY_SOCKET
// names: each message on a line of its own, and STARVED once a second passed after READY=1 (which
// arms the watchdog) or a WATCHDOG=1 without another: half the test's watchdog of 2 s.
constexpr const char* kNotifyReceiver = R"(import socket, sys, time
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind(sys.argv[1])
print("bound", flush=True)
fed = None
while True:
    s.settimeout(None if fed is None else max(0.001, fed + 1 - time.monotonic()))
    try:
        message = s.recv(4096).decode()
    except socket.timeout:
        print("STARVED", flush=True)
        fed = None
        continue
    print(message, flush=True)
    if message.startswith("READY=1") or message == "WATCHDOG=1":
        fed = time.monotonic())";

// A first day's dispatch through a slow relay: the watchdog hears from the server between
// messages, and a stop ends the dispatch after the message in flight, everything else pending.
// The metrics file holds every series from start-up and then tells of the stopped run; the
// monitor hears nothing of such a run.
TEST(ServiceProtocolE2E, ALongDispatchFeedsTheWatchdogAndAStopEndsItWithinSeconds) {
    test::SlowDispatch dispatch;
    test::Site& site = dispatch.site;
    const auto file = site.dir() / "server.prom";
    const auto socket = site.dir() / "notify";
    const test::HttpTestServer monitor;
    test::BackgroundProcess notify(
        {"/usr/bin/python3", {"-c", kNotifyReceiver, socket.string()}, {}, std::nullopt});
    ASSERT_TRUE(notify.waitForOutput("bound\n", std::chrono::seconds(20))) << notify.err();
    test::BackgroundProcess server(
        test::server(site, {"--headless"},
                     {{"NOTIFY_SOCKET", socket.string()},
                      {"WATCHDOG_USEC", "2000000"},
                      {"WATCHDOG_PID", std::nullopt},
                      {"AUTOMATION_SERVER_METRICS_FILE", file.string()},
                      {"AUTOMATION_SERVER_HEARTBEAT_URL", monitor.url("/p")}}));
    ASSERT_TRUE(notify.waitForOutput("READY=1", std::chrono::seconds(60))) << server.err();
    test::Eventually([&] { return std::filesystem::exists(file); });
    const std::string atStart = test::ReadWholeFile(file);  // the run waits on the relay
    // The series the example alert rules read, there before the first run ends.
    for (const char* zero :
         {"automation_server_last_run_errors", "automation_server_last_success_timestamp_seconds",
          "automation_server_outbox_oldest_pending_age_seconds"}) {
        EXPECT_EQ(test::Sample(atStart, zero), 0) << zero;
    }

    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_THAT(notify.out(), testing::Not(HasSubstr("STARVED")));
    ASSERT_TRUE(dispatch.underWay()) << server.err();

    const auto stopAt = std::chrono::steady_clock::now();
    const auto stopped = server.stop(SIGTERM);
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::seconds(3));
    EXPECT_EQ(stopped.exitStatus, 0) << stopped.err;
    dispatch.expectStoppedWhole();
    EXPECT_THAT(stopped.err, StartsWith("Stopped on request in step 84 of 84"));
    // The results line tells of the stop, and systemctl status shows it as it was logged.
    const auto at = stopped.out.find("(stopped on request in step 84; the rest waits");
    ASSERT_NE(at, std::string::npos) << stopped.out;
    const auto from = stopped.out.rfind('\n', at) + 1;  // 0 when it is the first line
    const auto status = "STATUS=" + stopped.out.substr(from, stopped.out.find('\n', at) - from);
    EXPECT_TRUE(test::Eventually([&] { return notify.out().find(status) != std::string::npos; }))
        << notify.out() << "\nlacks " << status;

    const std::string atStop = test::ReadWholeFile(file);
    EXPECT_EQ(test::Sample(atStop, test::Runs("stopped")), 1) << stopped.out;
    EXPECT_EQ(test::Sample(atStop, "automation_server_last_success_timestamp_seconds"), 0);
    test::ExpectTotalsAsLogged(atStop, site);
    EXPECT_TRUE(monitor.requests().empty());

    // The next run sends the rest, every message once.
    ASSERT_EQ(test::serve(site, {"--once"}).exitStatus, 0);
    EXPECT_EQ(dispatch.pending(), 0);
    EXPECT_EQ(dispatch.smtp.messagesAccepted(), dispatch.logged()) << "every message once";
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
