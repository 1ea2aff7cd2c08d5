#pragma once

#include <functional>

#include "state/ServerState.h"

namespace fas {

// Performs one catalog step's writes as one unit where that pays.
//
// On the embedded engine the whole step is one transaction that takes the write lock when the
// step starts: one commit instead of one per statement (each commit rewrites the pages it
// touched), and a walk that reads its rows as they come sees no other program's commit in the
// middle. A step of the largest databases holds the lock for about a second; other programs
// wait for it within their busy timeout.
//
// On SQL Server every statement is a round trip whatever the unit, and a unit holds its locks
// on Issues and the outbox tables, which other users' readers wait on, until it ends: there the
// step keeps the units it has (a notified row's outbox rows and record) and every other
// statement takes effect alone.
//
// Under a watchdog the unit is committed in parts, every half heartbeat, between two rows.
//
// A lost connection leaves nothing of the step since its last part, and the counters go back to
// what the database holds; any other error keeps what the step did before it, as without a unit,
// and is passed on. A step whose unit the database undid as a deadlock victim is performed
// again, as InUnit says.
void InStepUnit(ServerState& state, const std::function<void()>& step);

// Performs `work` as one unit of statements (db::UnitOfWork); on any error nothing of it stays
// and the counters go back to what the database holds. When the unit is a transaction of its own
// and the database undoes it as a deadlock victim, it is performed again after a short random
// wait (Database::pauseAfterDeadlock), db::kDeadlockTries times in all, unless it handed a message
// over; then the deadlock is its step's error. A unit inside another leaves the deadlock to the
// one outside; in a dry run, whose transaction the database undid whole, it ends the run.
void InUnit(ServerState& state, const std::function<void()>& work);

}  // namespace fas
