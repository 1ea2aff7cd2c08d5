// The heartbeat against a real HTTP server, and the metrics a process keeps across runs.

#include <gmock/gmock.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

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

    // Answered with an error, never answered, cut short by a stop: each a text that names the
    // monitor by its origin only (the path holds its secret).
    const test::HttpTestServer broken({.status = 500});
    const test::HttpTestServer silent({.neverAnswer = true});
    const auto fails = [](const std::string& url, const std::string& says,
                          const std::function<bool()>& cancelled = {}) {
        const auto began = std::chrono::steady_clock::now();
        const auto failure = HeartbeatSender(url, std::nullopt, std::chrono::milliseconds(1500))
                                 .send(false, "line", cancelled);
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(4)) << url;
        EXPECT_THAT(failure,
                    testing::Optional(testing::AllOf(HasSubstr(says), Not(HasSubstr("0c1d")))))
            << url;
    };
    fails(broken.url("/ping/0c1d"), "The heartbeat to " + broken.url("") +
                                        " failed: the monitor answered with HTTP status 500");
    fails(silent.url("/ping/0c1d"), "no answer within 1.5 s");
    fails(silent.url("/ping/0c1d"), "cut short by the stop request", [] { return true; });

    // An address that cannot be used stops start-up, naming the variable, not the secret.
    for (const char* bad : {"ftp://hc-ping.example/0c1d", "hc-ping.example/0c1d", "https://"}) {
        EXPECT_THAT([&] { RunMonitor({.heartbeatUrl = bad}, "1", std::clog); },
                    testing::ThrowsMessage<MonitorSettingsError>(
                        testing::AllOf(HasSubstr(kHeartbeatUrlVariable), Not(HasSubstr("0c1d")))))
            << bad;
    }
}

// The outbox's oldest row ages from when this process first saw it, and the file stays readable
// by node_exporter's user whatever the umask.
TEST(RunMonitor, KeepsTheOutboxAgeAcrossRunsOfOneProcess) {
    test::Site site;
    const auto file = site.dir() / "server.prom";
    std::ostringstream warnings;
    RunMonitor monitor({.metricsFile = file}, "7.16", warnings);
    const auto metrics = [&] { return test::ReadWholeFile(file); };
    const auto pending = [&] {
        return test::addRow(site, "AutomationServer_EmailsSent",
                            {{"EmailTo", "a@example.test"}, {"EmailSent", 0}});
    };
    const auto run = [&] {
        monitor.runStarting();
        site.run({{"hold", [](ServerState& s) { s.report.heldMessages = 2; }}});
        monitor.runEnded(site.state, "line");
        return metrics();
    };
    const auto age = [](const std::string& text) {
        return test::Sample(text, "automation_server_outbox_oldest_pending_age_seconds");
    };

    const auto first = pending();
#ifndef _WIN32
    const mode_t umask = ::umask(027);  // the service's: the file is read by node_exporter's user
#endif
    monitor.started(site.state);
#ifndef _WIN32
    ::umask(umask);
    EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms(0644));
#endif
    EXPECT_EQ(test::Sample(metrics(), "automation_server_outbox_pending_rows"), 1);
    EXPECT_EQ(age(metrics()), 0);

    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    run();
    EXPECT_GE(age(run()), 1.1);
    EXPECT_EQ(test::Sample(metrics(), "automation_server_outbox_held_messages"), 2);
    // The first row goes, a second comes: its age counts from the run that first saw it.
    pending();
    site.exec("UPDATE AutomationServer_EmailsSent SET EmailSent=1 WHERE ID=?", {first});
    EXPECT_LT(age(run()), 0.5);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_THAT(age(run()), testing::AllOf(testing::Ge(0.6), testing::Lt(1.1)));

    EXPECT_EQ(warnings.str(), "");
}

}  // namespace
}  // namespace fas::monitoring
