// The heartbeat against a real HTTP server, and the metrics a process keeps across runs.

#include <gmock/gmock.h>

#include <sstream>
#include <thread>

#include "monitoring/RunMonitor.h"
#include "support/HttpTestServer.h"
#include "support/Metrics.h"
#include "support/Site.h"

namespace fas::monitoring {
namespace {

using testing::HasSubstr;
using testing::Not;

// What a monitor received: method, target and body of each request.
std::string received(const test::HttpTestServer& monitor) {
    std::string text;
    for (const auto& request : monitor.requests()) {
        text += request.method + " " + request.target + " " + request.body + "; ";
    }
    return text;
}

TEST(Heartbeat, GoesToTheRightAddressAsAPostAndAFailureNamesOnlyTheOrigin) {
    const test::HttpTestServer monitor;
    const HeartbeatSender sender(monitor.url("/ping/0c1d?rid=7"),
                                 FailUrlOf(monitor.url("/ping/0c1d/?rid=7")));
    EXPECT_EQ(sender.send(false, "12/4/2026  - Emails: 1"), std::nullopt);
    EXPECT_EQ(sender.send(true, "12/4/2026  - Errors: 1 (x)"), std::nullopt);
    EXPECT_EQ(received(monitor),
              "POST /ping/0c1d?rid=7 12/4/2026  - Emails: 1; "
              "POST /ping/0c1d/fail?rid=7 12/4/2026  - Errors: 1 (x); ");

    // A push address that takes GET only still hears of the run.
    const test::HttpTestServer getOnly({.refusePost = true});
    EXPECT_EQ(
        HeartbeatSender(getOnly.url("/api/push/0c1d?status=up"), std::nullopt).send(false, "line"),
        std::nullopt);
    EXPECT_EQ(received(getOnly),
              "POST /api/push/0c1d?status=up line; GET /api/push/0c1d?status=up ; ");

    // Answered with an error: a text that names the monitor by its origin only (the path holds
    // its secret).
    const test::HttpTestServer broken({.status = 500});
    EXPECT_THAT(HeartbeatSender(broken.url("/ping/0c1d"), std::nullopt).send(false, "line"),
                testing::Optional(
                    testing::AllOf(HasSubstr("The heartbeat to " + broken.url("") +
                                             " failed: the monitor answered with HTTP status 500"),
                                   Not(HasSubstr("0c1d")))));

    // An address that cannot be used stops start-up, naming the variable, not the secret.
    for (const char* bad : {"ftp://hc-ping.example/0c1d", "hc-ping.example/0c1d", "https://"}) {
        EXPECT_THAT([&] { RunMonitor({.heartbeatUrl = bad}, "1", std::clog); },
                    testing::ThrowsMessage<MonitorSettingsError>(
                        testing::AllOf(HasSubstr(kHeartbeatUrlVariable), Not(HasSubstr("0c1d")))))
            << bad;
    }
}

// The outbox's oldest row ages from when this process first saw it: the alert on mail that does
// not go out reads it. (The file's mode under the service's umask: the systemd test.)
TEST(RunMonitor, TheOutboxAgeGrowsAcrossRunsOfOneProcess) {
    test::Site site;
    const auto file = site.dir() / "server.prom";
    std::ostringstream warnings;
    RunMonitor monitor({.metricsFile = file}, "7.16", warnings);
    test::addRow(site, "AutomationServer_EmailsSent",
                 {{"EmailTo", "a@example.test"}, {"EmailSent", 0}});
    monitor.started(site.state);
    const auto age = [&] {
        return test::Sample(test::ReadWholeFile(file),
                            "automation_server_outbox_oldest_pending_age_seconds");
    };
    EXPECT_EQ(age(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    monitor.runStarting();
    site.run({});
    monitor.runEnded(site.state, "line");
    EXPECT_GE(age(), 1.1);
    EXPECT_EQ(warnings.str(), "");
}

}  // namespace
}  // namespace fas::monitoring
