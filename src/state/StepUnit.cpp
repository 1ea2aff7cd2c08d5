#include "state/StepUnit.h"

#include "db/Errors.h"

namespace fas {

void InStepUnit(ServerState& state, const std::function<void()>& step) {
    if (state.db.engine() != db::Engine::Sqlite) {
        step();
        return;
    }
    const RunCounters counters = state.counters;
    const int queued = state.report.notificationsQueued;
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
