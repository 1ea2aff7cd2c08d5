#include "state/StepUnit.h"

#include "db/Errors.h"

namespace fas {
namespace {

// Performs `attempt` again, after a short random wait, while the database chooses it as a deadlock
// victim, db::kDeadlockTries times in all. Only a unit that is a transaction of its own can simply
// be done again: the database undid all of it. A unit inside another passes the deadlock on to
// the one that owns the transaction; a dry run's transaction is undone whole, which ends the run.
// A unit that handed a message over is not done again: the message would go out twice. `attempt`
// leaves the counters as the database holds them when it fails.
void againWhileDeadlocked(ServerState& state, const std::function<void()>& attempt) {
    if (!state.db.standsAlone()) {
        attempt();
        return;
    }
    for (int tries = 1;; ++tries) {
        const int handedOver = state.report.messagesHandedOver;
        try {
            attempt();
            return;
        } catch (const db::DatabaseError& e) {
            if (!e.deadlockVictim()) {
                throw;
            }
            if (state.report.messagesHandedOver != handedOver) {
                throw db::DatabaseError(e, std::string(e.what()) + " (not done again: a message " +
                                               "of it went out already)");
            }
            if (tries == db::kDeadlockTries) {
                throw db::DatabaseError(e, db::deadlockGivenUpMessage(e, tries));
            }
        }
        state.db.pauseAfterDeadlock();
    }
}

// One try of InStepUnit on the embedded engine.
void stepAsOneUnit(ServerState& state, const std::function<void()>& step) {
    RunCounters counters = state.counters;
    int queued = state.report.notificationsQueued;
    const auto undo = [&] {
        state.db.rollbackUnit();
        state.counters = counters;
        state.report.notificationsQueued = queued;
    };
    // After a step error other than a lost connection or a deadlock (which the database has
    // undone), what the step did before it stays.
    const auto keepWhatWasDone = [&] {
        try {
            state.db.commitUnit();
        } catch (...) {
            undo();
        }
    };
    state.db.beginUnit();
    // Under a watchdog, what the step did so far is committed every half heartbeat, between two
    // rows: one commit of a whole large step writes every page it changed and would keep the
    // server silent for seconds.
    struct PartCommits {
        RunControl& control;
        ~PartCommits() { control.setRowBoundaryWork(nullptr); }
    } parts{state.control};
    state.control.setRowBoundaryWork([&] {
        state.db.commitUnit();
        counters = state.counters;
        queued = state.report.notificationsQueued;
        state.db.beginUnit();
    });
    try {
        step();
    } catch (const db::DatabaseError& e) {
        if (e.connectionLost() || e.deadlockVictim()) {
            undo();
        } else {
            keepWhatWasDone();
        }
        throw;
    } catch (...) {
        keepWhatWasDone();
        throw;
    }
    try {
        state.db.commitUnit();
    } catch (...) {
        undo();
        throw;
    }
}

}  // namespace

void InStepUnit(ServerState& state, const std::function<void()>& step) {
    if (state.db.engine() != db::Engine::Sqlite) {
        step();
        return;
    }
    againWhileDeadlocked(state, [&] { stepAsOneUnit(state, step); });
}

void InUnit(ServerState& state, const std::function<void()>& work) {
    againWhileDeadlocked(state, [&] {
        const RunCounters counters = state.counters;
        const int queued = state.report.notificationsQueued;
        try {
            db::UnitOfWork unit(state.db);
            work();
            unit.commit();
        } catch (...) {
            state.counters = counters;
            state.report.notificationsQueued = queued;
            throw;
        }
    });
}

}  // namespace fas
