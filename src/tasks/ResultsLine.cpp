#include "tasks/ResultsLine.h"

namespace fas::tasks {

namespace {

// The results list holds one line per run: a message spanning lines is folded onto one.
std::string oneLine(const std::string& message) {
    std::string out;
    out.reserve(message.size());
    for (const char c : message) {
        if (c == '\r' || c == '\n') {
            if (!out.empty() && out.back() != ' ') {
                out.push_back(' ');
            }
        } else {
            out.push_back(c);
        }
    }
    while (!out.empty() && out.back() == ' ') {
        out.pop_back();
    }
    return out;
}

}  // namespace

std::string ResultsLine(const ServerState& state, const db::DateTime& now) {
    std::string line = db::dateText(now) +
                       "  - Emails: " + std::to_string(state.counters.emails()) +
                       "  Issues Created: " + std::to_string(state.counters.issuesCreated()) +
                       "  Issues Closed: " + std::to_string(state.counters.issuesClosed());
    if (state.report.heldMessages != 0) {
        line += "  Emails Held Back: " + std::to_string(state.report.heldMessages);
    }
    if (state.report.dryRunUndone) {
        line +=
            "  (dry run undone by the database after a deadlock: nothing was changed, nothing "
            "sent)";
    } else if (state.options.dryRun) {
        line += "  (dry run: every change was rolled back)";
    }
    if (state.report.stoppedInStep) {
        line += "  (stopped on request in step " + std::to_string(*state.report.stoppedInStep) +
                "; the rest waits for the next run)";
    }
    const auto& errors = state.report.errors;
    if (!errors.empty()) {
        line += "  Errors: " + std::to_string(errors.size()) + " (" + oneLine(errors.front()) + ")";
    }
    return line;
}

std::string StepReportText(const ServerState& state) {
    std::string text;
    for (const StepReport& step : state.report.steps) {
        text += "  " + step.label + ": issues created " + std::to_string(step.issuesCreated) +
                ", issues closed " + std::to_string(step.issuesClosed) + ", notifications queued " +
                std::to_string(step.notificationsQueued) +
                (step.emailsSent != 0 ? ", e-mails sent " + std::to_string(step.emailsSent) : "") +
                "\n";
        for (const std::string& error : step.errors) {
            text += "    error: " + oneLine(error) + "\n";
        }
    }
    return text;
}

}  // namespace fas::tasks
