#include "monitoring/RunMonitor.h"

#include <cstdlib>
#include <exception>

namespace fas::monitoring {

namespace {

std::optional<std::string> variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

double unixNow() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<double>(
               std::chrono::duration_cast<std::chrono::milliseconds>(since).count()) /
           1000.0;
}

// Names the variable whose address is unusable.
std::optional<std::string> checked(const char* name, std::optional<std::string> url) {
    if (url) {
        try {
            UrlOrigin(*url);
        } catch (const HeartbeatUrlError& e) {
            throw MonitorSettingsError(std::string(name) + " is " + e.what() +
                                       "; set it to the monitor's ping address, or unset it.");
        }
    }
    return url;
}

}  // namespace

MonitorSettings MonitorSettings::FromEnvironment() {
    MonitorSettings settings;
    if (auto file = variable(kMetricsFileVariable)) {
        settings.metricsFile = std::filesystem::path(*file);
    }
    settings.heartbeatUrl = variable(kHeartbeatUrlVariable);
    settings.heartbeatFailUrl = variable(kHeartbeatFailUrlVariable);
    return settings;
}

RunMonitor::RunMonitor(MonitorSettings settings, std::string version, std::ostream& warnings)
    : version_(std::move(version)), warnings_(warnings) {
    if (settings.metricsFile) {
        metrics_.emplace(*settings.metricsFile, warnings_);
    }
    auto success = checked(kHeartbeatUrlVariable, std::move(settings.heartbeatUrl));
    auto fail = checked(kHeartbeatFailUrlVariable, std::move(settings.heartbeatFailUrl));
    if (success && !fail) {
        fail = FailUrlOf(*success);
    }
    if (success || fail) {
        heartbeat_.emplace(std::move(success), std::move(fail), settings.heartbeatTimeLimit);
    }
}

void RunMonitor::started(ServerState& state) {
    record_.startTime = unixNow();
    const auto poll = state.company.AutomationServerPoll;
    record_.pollIntervalSeconds = 60.0 * (poll >= 1 ? poll : 1);
    if (metrics_) {
        countPendingOutbox(state, record_.startTime);
        writeMetrics(RunReport{});
    }
}

void RunMonitor::runStarting() {
    runStart_ = std::chrono::steady_clock::now();
}

void RunMonitor::runEnded(ServerState& state, const std::string& resultsLine) {
    const double now = unixNow();
    const RunReport& report = state.report;
    const bool failed = !report.errors.empty();
    record_.lastRunTime = now;
    record_.lastRunDuration =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - runStart_).count();
    if (failed) {
        ++record_.runsError;
    } else if (report.stoppedInStep) {
        ++record_.runsStopped;
    } else {
        ++record_.runsOk;
        record_.lastSuccessTime = now;
    }
    // A run that could not open the database counted nothing: the counters still hold the run
    // before it.
    if (report.databaseOpened) {
        record_.emailsSent += static_cast<std::uint64_t>(state.counters.emails());
        record_.issuesCreated += static_cast<std::uint64_t>(state.counters.issuesCreated());
        record_.issuesClosed += static_cast<std::uint64_t>(state.counters.issuesClosed());
    }
    // A stopping server sends nothing: the stop must take seconds, and the monitor's grace time
    // covers a server that is down.
    if (heartbeat_ && !state.control.stopRequested) {
        const auto problem = heartbeat_->send(failed, resultsLine,
                                              [&] { return state.control.stopRequested.load(); });
        if (problem) {
            ++record_.heartbeatFailures;
            warnings_ << *problem << std::endl;
        }
    }
    if (metrics_) {
        if (report.databaseOpened) {
            countPendingOutbox(state, now);
        }
        writeMetrics(report);
    }
}

void RunMonitor::countPendingOutbox(ServerState& state, double now) {
    std::string problem;
    if (!state.db.OpenDatabase()) {
        problem = state.db.lastOpenError();
    } else {
        try {
            auto rows = state.db.query(kPendingOutboxSql);
            const db::Value oldest = rows.value("OldestID");
            record_.outboxPendingRows = rows.int64("PendingRows");
            if (oldest.isNull()) {
                sightings_.clear();
            } else {
                // A count that saw no newer row than the last adds nothing: the earlier one
                // dates those rows.
                if (const auto newest = rows.int64("NewestID");
                    sightings_.empty() || newest > sightings_.back().newestId) {
                    sightings_.push_back({newest, now});
                }
                while (sightings_.size() > 1 && sightings_.front().newestId < oldest.asInt64()) {
                    sightings_.pop_front();
                }
            }
            record_.outboxOldestPendingAge = sightings_.empty() ? 0 : now - sightings_.front().time;
        } catch (const std::exception& e) {
            problem = e.what();
        }
    }
    state.db.CloseDatabase();
    if (!problem.empty() && problem != lastOutboxProblem_) {
        warnings_ << "Metrics: cannot count the pending outbox rows (the outbox metrics keep "
                     "their last values): "
                  << problem << std::endl;
    }
    lastOutboxProblem_ = problem;
}

void RunMonitor::writeMetrics(const RunReport& lastRun) {
    metrics_->write(MetricsText(record_, lastRun, version_));
}

}  // namespace fas::monitoring
