#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>

#include "state/ServerState.h"

namespace fas::monitoring {

// What the process has seen since it started, as the metrics show it. Times are Unix seconds;
// a time that has not come yet is 0.
struct ProcessRecord {
    double startTime = 0;
    double pollIntervalSeconds = 60;
    double lastRunTime = 0;  // the end of the last run
    double lastRunDuration = 0;
    double lastSuccessTime = 0;  // the end of the last run without error
    std::uint64_t runsOk = 0;
    std::uint64_t runsError = 0;
    std::uint64_t runsStopped = 0;
    std::uint64_t emailsSent = 0;
    std::uint64_t issuesCreated = 0;
    std::uint64_t issuesClosed = 0;
    std::int64_t outboxPendingRows = 0;
    double outboxOldestPendingAge = 0;
    std::uint64_t heartbeatFailures = 0;
};

// The metrics in Prometheus's text exposition format: every series, zeros included, from
// start-up on. `lastRun` is the report of the last run (empty before the first). No label or
// value holds an address, a password or a message text.
std::string MetricsText(const ProcessRecord& record, const RunReport& lastRun,
                        std::string_view version);

// The file node_exporter's textfile collector reads. Each write replaces it whole (a temporary
// file in the same folder, then a rename), so a scrape never sees half of it.
class MetricsFile {
  public:
    MetricsFile(std::filesystem::path file, std::ostream& warnings)
        : file_(std::move(file)), warnings_(warnings) {}

    // Never fails the caller: what stops the write is said on `warnings` once, and again only
    // when it changes or comes back after a write that worked.
    void write(const std::string& text);

    const std::filesystem::path& file() const { return file_; }

  private:
    std::filesystem::path file_;
    std::ostream& warnings_;
    std::string lastProblem_;
};

}  // namespace fas::monitoring
