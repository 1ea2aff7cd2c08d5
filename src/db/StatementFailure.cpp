#include "db/StatementFailure.h"

#include <algorithm>

namespace fas::db {

StatementFailure ClassifyStatementFailure(const std::vector<OdbcDiagnostic>& diagnostics) {
    const auto any = [&](auto&& test) {
        return std::any_of(diagnostics.begin(), diagnostics.end(), test);
    };
    if (any([](const OdbcDiagnostic& d) { return d.state.starts_with("08"); })) {
        return StatementFailure::ConnectionLost;
    }
    // Microsoft's drivers and FreeTDS give 40001 with error 1205; either one is enough.
    if (any([](const OdbcDiagnostic& d) { return d.state == "40001" || d.native == 1205; })) {
        return StatementFailure::DeadlockVictim;
    }
    // Reported as HYT00 like the query timeout, but the server, not the driver, gave up.
    if (any([](const OdbcDiagnostic& d) { return d.native == 1222; })) {
        return StatementFailure::LockTimeout;
    }
    if (any([](const OdbcDiagnostic& d) { return d.state == "HYT00"; })) {
        return StatementFailure::QueryTimeout;
    }
    return StatementFailure::Other;
}

DatabaseError StatementError(const std::vector<OdbcDiagnostic>& diagnostics, std::string_view sql,
                             const std::string& driverText, int queryTimeoutSeconds) {
    const std::string text = driverText + " in statement: " + statementForMessage(sql);
    switch (ClassifyStatementFailure(diagnostics)) {
        case StatementFailure::ConnectionLost:
            return DatabaseError(text, true);
        case StatementFailure::DeadlockVictim:
            return DatabaseError(deadlockMessage(sql, text), false, true, true);
        case StatementFailure::LockTimeout:
            return DatabaseError(lockTimeoutMessage(sql, text), false, true);
        case StatementFailure::QueryTimeout:
            return DatabaseError(timeoutMessage(sql, queryTimeoutSeconds) + ": " + text, false,
                                 true);
        case StatementFailure::Other:
            break;
    }
    return DatabaseError(text);
}

}  // namespace fas::db
