#pragma once

#include <chrono>
#include <deque>
#include <filesystem>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>

#include "monitoring/Heartbeat.h"
#include "monitoring/Metrics.h"
#include "state/ServerState.h"

namespace fas::monitoring {

inline constexpr const char* kMetricsFileVariable = "AUTOMATION_SERVER_METRICS_FILE";
inline constexpr const char* kHeartbeatUrlVariable = "AUTOMATION_SERVER_HEARTBEAT_URL";
inline constexpr const char* kHeartbeatFailUrlVariable = "AUTOMATION_SERVER_HEARTBEAT_FAIL_URL";

// The pending outbox after a run. The rows carry no date of their own until they are sent, so
// the age is told from the IDs (an identity grows): a row was queued no later than the first
// count whose newest ID reached it.
inline constexpr const char* kPendingOutboxSql =
    "SELECT COUNT(*) AS PendingRows,MIN(ID) AS OldestID,MAX(ID) AS NewestID FROM "
    "AutomationServer_EmailsSent WHERE EmailSent=0 AND EmailTo<>''";

// An AUTOMATION_SERVER_* monitoring variable that cannot be used; the message names it (never its
// value's path or query).
class MonitorSettingsError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Written with designated initializers: {.metricsFile = file}.
struct MonitorSettings {
    std::optional<std::filesystem::path> metricsFile{};
    std::optional<std::string> heartbeatUrl{};
    std::optional<std::string> heartbeatFailUrl{};  // default: heartbeatUrl with "/fail" appended
    std::chrono::milliseconds heartbeatTimeLimit = HeartbeatSender::kTimeLimit;

    // From the AUTOMATION_SERVER_* variables; an empty one counts as not set.
    static MonitorSettings FromEnvironment();
};

// The metrics file and the heartbeat of one server process, and what they report: totals since
// start-up, the last run, the pending outbox. Lives as long as the process; does nothing for
// what the settings leave out.
class RunMonitor {
  public:
    // Throws MonitorSettingsError for an unusable heartbeat address.
    RunMonitor(MonitorSettings settings, std::string version, std::ostream& warnings);

    // After start-up: the first metrics, zeros and the pending outbox.
    void started(ServerState& state);
    void runStarting();
    // After each run, with its results line: the totals grow by what the run counted, the
    // heartbeat goes out (not while the server stops) and the metrics are written. A failed
    // heartbeat is a warning and a metric, never a run error.
    void runEnded(ServerState& state, const std::string& resultsLine);

    const ProcessRecord& record() const { return record_; }

  private:
    void countPendingOutbox(ServerState& state, double now);
    void writeMetrics(const RunReport& lastRun);

    struct Sighting {
        std::int64_t newestId;
        double time;
    };

    std::string version_;
    std::ostream& warnings_;
    std::optional<MetricsFile> metrics_;
    std::optional<HeartbeatSender> heartbeat_;
    ProcessRecord record_;
    std::deque<Sighting> sightings_;  // from the first in which the oldest pending row was seen
    std::chrono::steady_clock::time_point runStart_;
    std::string lastOutboxProblem_;
};

}  // namespace fas::monitoring
