#include "monitoring/Metrics.h"

#include <array>
#include <charconv>
#include <vector>

#include "platform/Files.h"
#include "platform/Process.h"

namespace fas::monitoring {

namespace {

namespace fs = std::filesystem;

// One metric: its samples as label text ("" or "{a=\"b\"}") and value.
struct Family {
    std::string_view name;
    std::string_view type;
    std::string_view help;
    std::vector<std::pair<std::string, double>> samples;
};

std::string number(double value) {
    std::array<char, 32> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
    return {text.data(), end};
}

std::string labelValue(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return out;
}

double count(std::uint64_t n) {
    return static_cast<double>(n);
}

// Writes `text` to a temporary file beside `file` and puts it in `file`'s place; the readers of
// node_exporter or windows_exporter (another user) may read it. Returns the failure's text, empty
// when it worked.
std::string replaceFile(const fs::path& file, const std::string& text) {
    const fs::path temporary =
        file.parent_path() /
        ("." + file.filename().string() + "." + std::to_string(platform::ProcessId()) + ".tmp");
    std::error_code ignored;
    fs::remove(temporary, ignored);  // left by an earlier process of the same id
    std::string error = platform::WriteNewFile(temporary, text);
    if (error.empty()) {
        error = platform::MoveIntoPlace(temporary, file);
    }
    if (!error.empty()) {
        fs::remove(temporary, ignored);
    }
    return error;
}

}  // namespace

std::string MetricsText(const ProcessRecord& r, const RunReport& lastRun,
                        std::string_view version) {
    constexpr std::string_view kGauge = "gauge";
    constexpr std::string_view kCounter = "counter";
    const std::vector<Family> families = {
        {"automation_server_info",
         kGauge,
         "The server's version.",
         {{"{version=\"" + labelValue(version) + "\"}", 1}}},
        {"automation_server_start_time_seconds",
         kGauge,
         "When the server started.",
         {{"", r.startTime}}},
        {"automation_server_poll_interval_seconds",
         kGauge,
         "The time between two timed runs (the Company row's poll interval).",
         {{"", r.pollIntervalSeconds}}},
        {"automation_server_last_run_timestamp_seconds",
         kGauge,
         "When the last run ended (0 before the first).",
         {{"", r.lastRunTime}}},
        {"automation_server_last_run_duration_seconds",
         kGauge,
         "How long the last run took.",
         {{"", r.lastRunDuration}}},
        {"automation_server_last_run_errors",
         kGauge,
         "The errors the last run reported.",
         {{"", count(lastRun.errors.size())}}},
        {"automation_server_last_success_timestamp_seconds",
         kGauge,
         "When the last run without error ended (0 before the first).",
         {{"", r.lastSuccessTime}}},
        {"automation_server_runs_total",
         kCounter,
         "Runs since start-up: ok without error, error with at least one, stopped ended early "
         "by a stop request without error.",
         {{"{result=\"ok\"}", count(r.runsOk)},
          {"{result=\"error\"}", count(r.runsError)},
          {"{result=\"stopped\"}", count(r.runsStopped)}}},
        {"automation_server_emails_sent_total",
         kCounter,
         "Messages the mail server accepted since start-up.",
         {{"", count(r.emailsSent)}}},
        {"automation_server_issues_created_total",
         kCounter,
         "Automatic issues created since start-up.",
         {{"", count(r.issuesCreated)}}},
        {"automation_server_issues_closed_total",
         kCounter,
         "Automatic issues closed since start-up.",
         {{"", count(r.issuesClosed)}}},
        {"automation_server_outbox_pending_rows",
         kGauge,
         "Outbox rows waiting to be sent, after the last run.",
         {{"", static_cast<double>(r.outboxPendingRows)}}},
        {"automation_server_outbox_oldest_pending_age_seconds",
         kGauge,
         "How long the oldest waiting outbox row has waited, as far as this process has seen it "
         "(0 when none waits).",
         {{"", r.outboxOldestPendingAge}}},
        {"automation_server_outbox_held_messages",
         kGauge,
         "Digests the last run held back: the mail server refused them for good and their next "
         "attempt waits.",
         {{"", static_cast<double>(lastRun.heldMessages)}}},
        {"automation_server_heartbeat_failures_total",
         kCounter,
         "Heartbeats the outside monitor did not take since start-up.",
         {{"", count(r.heartbeatFailures)}}},
    };
    std::string text;
    for (const Family& family : families) {
        text += "# HELP " + std::string(family.name) + " " + std::string(family.help) + "\n";
        text += "# TYPE " + std::string(family.name) + " " + std::string(family.type) + "\n";
        for (const auto& [labels, value] : family.samples) {
            text += std::string(family.name) + labels + " " + number(value) + "\n";
        }
    }
    return text;
}

void MetricsFile::write(const std::string& text) {
    const fs::path folder = file_.parent_path().empty() ? fs::path(".") : file_.parent_path();
    std::error_code ignored;
    std::string problem;
    if (!fs::is_directory(folder, ignored)) {
        problem = "Metrics: the folder " + platform::PathText(folder) +
                  " does not exist; the metrics (AUTOMATION_SERVER_METRICS_FILE) are written "
                  "there once it does.";
    } else if (const std::string failed = replaceFile(file_, text); !failed.empty()) {
        problem = "Metrics: cannot write " + platform::PathText(file_) + ": " + failed + ".";
    }
    if (!problem.empty() && problem != lastProblem_) {
        warnings_ << problem << std::endl;
    }
    lastProblem_ = problem;
}

}  // namespace fas::monitoring
