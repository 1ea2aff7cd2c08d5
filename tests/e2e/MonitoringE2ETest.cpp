// The metrics file and the heartbeat of the real binary: what node_exporter and an outside monitor
// see after runs that ended cleanly and with errors (a stopped run: ServiceProtocolE2ETest).

#include "e2e/Site.h"
#include "support/HttpTestServer.h"
#include "support/Metrics.h"

namespace fas::test {
namespace {

using testing::HasSubstr;

// Each run tells the monitor how it went, as a POST of its results line; the metrics match what
// the run did. A monitor that cannot be reached, or a metrics folder that is missing, costs a
// warning and never the run; an unusable address stops start-up.
TEST(MonitoringE2E, RunsReportToMetricsAndMonitorAndNeitherCanFailARun) {
    const HttpTestServer monitor;
    const std::string ping = monitor.url("/ping/9f2e");
    Site failing(DemoTemplate()), clean(DemoTemplate());
    failing.exec("DROP TABLE Training");
    const auto file = failing.dir() / "server.prom";
    using Environment = std::map<std::string, std::optional<std::string>>;
    const auto run = [](const Site& s, const Environment& env) {
        return serve(s, {"--once", "--pickup-dir", s.pickup().string()}, env);
    };
    const Environment both = {{"AUTOMATION_SERVER_METRICS_FILE", file.string()},
                              {"AUTOMATION_SERVER_HEARTBEAT_URL", ping}};

    const auto failed = run(failing, both);
    ASSERT_EQ(failed.exitStatus, 1) << failed.err;
    EXPECT_EQ(Sample(ReadWholeFile(file), Runs("error")), 1);
    const auto passed = run(clean, both);
    ASSERT_EQ(passed.exitStatus, 0) << passed.err;
    const std::string metrics = ReadWholeFile(file);
    EXPECT_EQ(Sample(metrics, Runs("ok")), 1);
    EXPECT_EQ(Sample(metrics, "automation_server_last_success_timestamp_seconds"),
              Sample(metrics, "automation_server_last_run_timestamp_seconds"));
    ExpectTotalsAsLogged(metrics, clean);

    // Uptime Kuma's way: a failure address of its own.
    EXPECT_EQ(run(failing, {{"AUTOMATION_SERVER_HEARTBEAT_URL", ping},
                            {"AUTOMATION_SERVER_HEARTBEAT_FAIL_URL",
                             monitor.url("/api/push/k7?status=down&msg=errors")}})
                  .exitStatus,
              1);
    const auto received = monitor.requests();
    ASSERT_EQ(received.size(), 3u);
    const auto line = [](const ProcessResult& r) { return r.out.substr(0, r.out.find('\n')); };
    EXPECT_EQ(received[0].method + " " + received[0].target, "POST /ping/9f2e/fail");
    EXPECT_EQ(received[0].body, line(failed));
    EXPECT_EQ(received[1].method + " " + received[1].target, "POST /ping/9f2e");
    EXPECT_EQ(received[1].body, line(passed));
    EXPECT_EQ(received[2].target, "/api/push/k7?status=down&msg=errors");

    const auto unreachable =
        run(clean, {{"AUTOMATION_SERVER_METRICS_FILE", file.string()},
                    {"AUTOMATION_SERVER_HEARTBEAT_URL", "http://127.0.0.1:1/p/9f2e"}});
    EXPECT_EQ(unreachable.exitStatus, 0) << unreachable.err;  // what it says: Heartbeat.*
    EXPECT_EQ(Sample(ReadWholeFile(file), "automation_server_heartbeat_failures_total"), 1);

    const auto absent = run(clean, {{"AUTOMATION_SERVER_METRICS_FILE",
                                     (clean.dir() / "absent" / "server.prom").string()}});
    EXPECT_EQ(absent.exitStatus, 0);
    // Said once, though written after start-up and after the run.
    EXPECT_THAT(absent.err, testing::MatchesRegex("[^\n]*/absent does not exist[^\n]*\n"));

    const auto refused = run(clean, {{"AUTOMATION_SERVER_HEARTBEAT_URL", "ftp://hc.example/9f2e"}});
    EXPECT_EQ(refused.exitStatus, 2);
    EXPECT_THAT(refused.err, HasSubstr("AUTOMATION_SERVER_HEARTBEAT_URL"));
}

}  // namespace
}  // namespace fas::test
