// The metrics file and the heartbeat of the real binary: what node_exporter and an outside monitor
// see after a run (a stopped run: ServiceProtocolE2ETest; the failure addresses and what a
// failed run reports: the monitoring suite's).

#include "e2e/Site.h"
#include "support/HttpTestServer.h"
#include "support/Metrics.h"

namespace fas::test {
namespace {

using testing::HasSubstr;

// Each run tells the monitor how it went, as a POST of its results line; the metrics match what
// the run did. A monitor that cannot be reached costs a warning and never the run; an unusable
// address stops start-up.
TEST(MonitoringE2E, RunsReportToMetricsAndMonitorAndNeitherCanFailARun) {
    const HttpTestServer monitor;
    Site site(DemoTemplate());
    const auto file = site.dir() / "server.prom";
    const auto run = [&](const std::string& heartbeat) {
        return serve(site, {"--once", "--pickup-dir", site.pickup().string()},
                     {{"AUTOMATION_SERVER_METRICS_FILE", file.string()},
                      {"AUTOMATION_SERVER_HEARTBEAT_URL", heartbeat}});
    };

    const auto passed = run(monitor.url("/ping/9f2e"));
    ASSERT_EQ(passed.exitStatus, 0) << passed.err;
    const std::string metrics = ReadWholeFile(file);
    EXPECT_EQ(Sample(metrics, Runs("ok")), 1);
    EXPECT_EQ(Sample(metrics, "automation_server_last_success_timestamp_seconds"),
              Sample(metrics, "automation_server_last_run_timestamp_seconds"));
    ExpectTotalsAsLogged(metrics, site);
    const auto received = monitor.requests();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].method + " " + received[0].target, "POST /ping/9f2e");
    EXPECT_EQ(received[0].body, passed.out.substr(0, passed.out.find('\n')));

    const auto unreachable = run("http://127.0.0.1:1/p/9f2e");
    EXPECT_EQ(unreachable.exitStatus, 0) << unreachable.err;  // what it says: Heartbeat.*
    EXPECT_EQ(Sample(ReadWholeFile(file), "automation_server_heartbeat_failures_total"), 1);

    const auto refused = run("ftp://hc.example/9f2e");
    EXPECT_EQ(refused.exitStatus, 2);
    EXPECT_THAT(refused.err, HasSubstr("AUTOMATION_SERVER_HEARTBEAT_URL"));
}

}  // namespace
}  // namespace fas::test
