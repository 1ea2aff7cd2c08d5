#include "state/StepUnit.h"

#include "db/Errors.h"

namespace fas {

void InStepUnit(ServerState& state, const std::function<void()>& step) {
    if (state.db.engine() != db::Engine::Sqlite) {
        step();
        return;
    }
    RunCounters counters = state.counters;
    int queued = state.report.notificationsQueued;
    const auto undo = [&] {
        state.db.rollbackUnit();
        state.counters = counters;
        state.report.notificationsQueued = queued;
    };
    // After a step error other than a lost connection, what the step did before it stays.
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
        if (e.connectionLost()) {
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

}  // namespace fas
