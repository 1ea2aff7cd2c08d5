#pragma once

#include <functional>
#include <string>
#include <vector>

#include "state/ServerState.h"

namespace fas::tasks {

// One step of the rule catalog: a rule processor, closing pass or the outbox dispatch.
struct TaskStep {
    std::string label;
    std::function<void(ServerState&)> run;
};
using TaskList = std::vector<TaskStep>;

// The statement that lifts the contract notification mutes whose time has come.
inline constexpr const char* kLiftDueMutesSql =
    "UPDATE ServiceContract SET DisableEmailNotifications=0,EnableNotificationsAtTime=NULL WHERE "
    "NOT EnableNotificationsAtTime IS NULL AND GETDATE()>=EnableNotificationsAtTime";

inline constexpr const char* kInsertLogSql =
    "INSERT INTO AutomationServer_Log (LogDate,CountEmails,CountIssues,CountIssuesClose) VALUES "
    "(GETDATE(),?,?,?)";

// One task run: open the shared connection, zero the counters, lift due mutes, perform the
// steps in order, write the AutomationServer_Log row, close the connection.
//
// Every error is recorded in state.report and written to standard error. A failing step does not
// stop the steps after it; a lost connection ends the run at once, without a log row. When the
// connection cannot be opened, nothing runs and the counters keep the previous run's values. A
// stop request (state.control) ends the run at the next checkpoint (between two steps, rows or
// messages); the log row then counts what was done.
void RunTasks(ServerState& state, const TaskList& steps);

}  // namespace fas::tasks
