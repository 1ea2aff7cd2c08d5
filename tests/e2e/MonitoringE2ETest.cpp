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
// warning and never the run; an unusable address stops start-up without showing its secret.
TEST(MonitoringE2E, RunsReportToMetricsAndMonitorAndNeitherCanFailARun) {
    const HttpTestServer monitor;
    const std::string ping = monitor.url("/ping/9f2e");
    Site failing(DemoTemplate()), clean(DemoTemplate());
    failing.exec("DROP TABLE Training");
    const auto file = failing.dir() / "server.prom";
    const auto pickup = [](const Site& s) {
        return std::vector<std::string>{"--once", "--pickup-dir", s.pickup().string()};
    };

    const auto failed = serve(failing, pickup(failing),
                              {{"AUTOMATION_SERVER_METRICS_FILE", file.string()},
                               {"AUTOMATION_SERVER_HEARTBEAT_URL", ping}});
    ASSERT_EQ(failed.exitStatus, 1) << failed.err;
    std::string metrics = ReadWholeFile(file);
    EXPECT_EQ(PromtoolProblems(file), "");
    EXPECT_EQ(Sample(metrics, Runs("error")), 1);
    EXPECT_EQ(Sample(metrics, Runs("ok")), 0);
    EXPECT_EQ(Sample(metrics, "automation_server_last_success_timestamp_seconds"), 0);
    std::size_t errors = 0;
    for (auto at = failed.err.find("Task run error: "); at != std::string::npos;
         at = failed.err.find("Task run error: ", at + 1)) {
        ++errors;
    }
    EXPECT_EQ(Sample(metrics, "automation_server_last_run_errors"), static_cast<double>(errors));
    EXPECT_GT(errors, 0u);
    ExpectTotalsAsLogged(metrics, failing);

    const auto passed = serve(clean, pickup(clean),
                              {{"AUTOMATION_SERVER_METRICS_FILE", file.string()},
                               {"AUTOMATION_SERVER_HEARTBEAT_URL", ping}});
    ASSERT_EQ(passed.exitStatus, 0) << passed.err;
    metrics = ReadWholeFile(file);
    EXPECT_EQ(PromtoolProblems(file), "");
    EXPECT_EQ(Sample(metrics, Runs("ok")), 1);
    EXPECT_EQ(Sample(metrics, "automation_server_last_run_errors"), 0);
    EXPECT_EQ(Sample(metrics, "automation_server_last_success_timestamp_seconds"),
              Sample(metrics, "automation_server_last_run_timestamp_seconds"));
    EXPECT_EQ(Sample(metrics, "automation_server_outbox_pending_rows"), 0);
    EXPECT_GT(Sample(metrics, "automation_server_emails_sent_total"), 0);
    EXPECT_GT(Sample(metrics, "automation_server_issues_created_total"), 0);
    ExpectTotalsAsLogged(metrics, clean);

    // Uptime Kuma's way: a failure address of its own.
    const std::string down = monitor.url("/api/push/k7?status=down&msg=errors");
    EXPECT_EQ(serve(failing, pickup(failing),
                    {{"AUTOMATION_SERVER_HEARTBEAT_URL", ping},
                     {"AUTOMATION_SERVER_HEARTBEAT_FAIL_URL", down}})
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
        serve(clean, pickup(clean),
              {{"AUTOMATION_SERVER_METRICS_FILE", file.string()},
               {"AUTOMATION_SERVER_HEARTBEAT_URL", "http://127.0.0.1:1/p/9f2e"}});
    EXPECT_EQ(unreachable.exitStatus, 0) << unreachable.err;  // what it says: Heartbeat.*
    EXPECT_EQ(Sample(ReadWholeFile(file), "automation_server_heartbeat_failures_total"), 1);

    const auto absent = serve(
        clean, pickup(clean),
        {{"AUTOMATION_SERVER_METRICS_FILE", (clean.dir() / "absent" / "server.prom").string()}});
    EXPECT_EQ(absent.exitStatus, 0);
    const auto said = absent.err.find("/absent does not exist");
    EXPECT_NE(said, std::string::npos) << absent.err;
    EXPECT_EQ(absent.err.find("/absent does not exist", said + 1), std::string::npos)
        << "said once, though written after start-up and after the run";

    const auto refused =
        serve(clean, {"--once"}, {{"AUTOMATION_SERVER_HEARTBEAT_URL", "ftp://hc.example/9f2e"}});
    EXPECT_EQ(refused.exitStatus, 2);
    EXPECT_THAT(refused.err, HasSubstr("AUTOMATION_SERVER_HEARTBEAT_URL"));
}

}  // namespace
}  // namespace fas::test
