#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "db/ConnectFailure.h"
#include "db/Errors.h"

namespace fas::db {

// What the driver's diagnostics of a failed statement mean for the run.
enum class StatementFailure {
    Other,
    ConnectionLost,  // SQLSTATE class 08: nothing else can work on the connection
    DeadlockVictim,  // SQLSTATE 40001 or SQL Server's error 1205: the whole transaction undone
    LockTimeout,     // SQL Server's error 1222 (SET LOCK_TIMEOUT): this statement alone undone
    QueryTimeout,    // any other HYT00: the driver cancelled the statement
};
StatementFailure ClassifyStatementFailure(const std::vector<OdbcDiagnostic>& diagnostics);

// The error of `sql` failed with `diagnostics`, whose text (and what the program was doing) is
// `driverText`; the statement ran under a query timeout of `queryTimeoutSeconds`.
DatabaseError StatementError(const std::vector<OdbcDiagnostic>& diagnostics, std::string_view sql,
                             const std::string& driverText, int queryTimeoutSeconds);

}  // namespace fas::db
