#include "tasks/RunTasks.h"

#include <exception>
#include <iostream>

#include "db/Errors.h"

namespace fas::tasks {

namespace {

void recordError(ServerState& state, std::string message) {
    std::cerr << "Task run error: " << message << std::endl;
    state.report.recordError(std::move(message));
}

// ConnectionLost and DryRunUndone end the run.
enum class Outcome { Done, Failed, ConnectionLost, DryRunUndone, Stopped };

// Performs one part of the run. Its error is recorded so that the run can go on with the next
// part; only a lost connection, after which nothing else can work, ends the run, and so does a
// deadlock in a dry run: the database undid the dry run's one transaction, all of its work.
template <typename Work>
Outcome perform(ServerState& state, const std::string& label, Work&& work) {
    try {
        work();
        return Outcome::Done;
    } catch (const RunStopped&) {
        return Outcome::Stopped;
    } catch (const db::DatabaseError& e) {
        if (e.connectionLost()) {
            recordError(state, label + ": " + e.what() + " (the run ended here)");
            return Outcome::ConnectionLost;
        }
        if (e.deadlockVictim() && state.options.dryRun) {
            recordError(state, label +
                                   ": the database undid all of the dry run's work to break a " +
                                   "deadlock with another program; nothing was changed and " +
                                   "nothing sent, the dry run ended here (" + e.what() + ")");
            state.report.dryRunUndone = true;
            return Outcome::DryRunUndone;
        }
        recordError(state, label + ": " + e.what());
    } catch (const std::exception& e) {
        recordError(state, label + ": " + e.what());
    } catch (...) {
        recordError(state, label + ": an error of unknown kind");
    }
    return Outcome::Failed;
}

// Performs one catalog step and notes what it did for the per-step report.
Outcome performStep(ServerState& state, const TaskStep& step) {
    const int created = state.counters.issuesCreated();
    const int closed = state.counters.issuesClosed();
    const int queued = state.report.notificationsQueued;
    const int emails = state.counters.emails();
    const std::size_t errors = state.report.errors.size();
    const Outcome outcome = perform(state, step.label, [&] { step.run(state); });
    StepReport report{step.label,
                      state.counters.issuesCreated() - created,
                      state.counters.issuesClosed() - closed,
                      state.report.notificationsQueued - queued,
                      state.counters.emails() - emails,
                      {state.report.errors.begin() + static_cast<std::ptrdiff_t>(errors),
                       state.report.errors.end()}};
    if (report.issuesCreated != 0 || report.issuesClosed != 0 || report.notificationsQueued != 0 ||
        report.emailsSent != 0 || !report.errors.empty()) {
        state.report.steps.push_back(std::move(report));
    }
    return outcome;
}

}  // namespace

void RunTasks(ServerState& state, const TaskList& steps) {
    state.report.clear();
    if (!state.db.OpenDatabase()) {
        // The counters keep the previous run's values; the results line says why nothing ran.
        recordError(state, "Could not open the database: " + state.db.lastOpenError());
        state.db.CloseDatabase();
        return;
    }
    state.report.databaseOpened = true;
    state.counters.reset();
    state.recipients.clear();

    const auto ends = [](Outcome outcome) {
        return outcome == Outcome::ConnectionLost || outcome == Outcome::DryRunUndone;
    };
    // A dry run does all its work inside one transaction and rolls it back at the end.
    bool lost = state.options.dryRun && perform(state, "Starting the dry run's transaction", [&] {
                                            state.db.beginTransaction();
                                        }) != Outcome::Done;
    if (!lost) {
        lost = ends(perform(state, "Lifting due notification mutes",
                            [&] { state.db.execute(kLiftDueMutesSql); }));
    }
    for (std::size_t i = 0; i < steps.size() && !lost; ++i) {
        Outcome outcome = Outcome::Stopped;
        try {
            state.control.checkpoint();
            outcome = performStep(state, steps[i]);
        } catch (const RunStopped&) {
        }
        if (outcome == Outcome::Stopped) {
            // Every row and message before the stop is whole; the log row counts them.
            state.report.stoppedInStep = i + 1;
            break;
        }
        lost = ends(outcome);
    }
    if (!lost) {
        lost = ends(perform(state, "Writing the AutomationServer_Log row", [&] {
            state.db.execute(kInsertLogSql, {db::Value(state.counters.loggedEmails()),
                                             db::Value(state.counters.loggedIssuesCreated()),
                                             db::Value(state.counters.loggedIssuesClosed())});
        }));
    }
    if (state.report.dryRunUndone) {
        // The database holds nothing of the run, and the results line counts nothing; closing
        // the connection ends what is left of the transaction.
        state.counters.reset();
        state.report.notificationsQueued = 0;
    }
    if (state.options.dryRun && !lost) {
        perform(state, "Rolling back the dry run", [&] { state.db.rollbackTransaction(); });
    }
    // Closed twice, as every run always has: the second close is a no-op.
    state.db.CloseDatabase();
    state.db.CloseDatabase();
}

}  // namespace fas::tasks
