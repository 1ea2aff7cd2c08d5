#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fas::db {

// One diagnostic record of a failed ODBC call: its SQLSTATE, the driver's text and the server's
// own error number (SQL Server's 1205: a deadlock victim), 0 when there is none.
struct OdbcDiagnostic {
    std::string state;
    std::string text;
    int native = 0;
};

// What a failed connect means for the administrator.
struct ConnectFailure {
    bool mayPassByItself = false;  // the server did not answer: a restart later may succeed
    std::string advice;            // what most likely cures it, empty when nothing is known
};

// Reads the driver's diagnostics of a failed connect with `connectionString` (ODBC form). A
// certificate or TLS refusal will not pass by itself, though the driver calls it "no connection
// could be made" (08001) like a server that is down; the rest of class 08 and the login time-out
// may; a refused log-in, an unknown driver and the rest need a person.
ConnectFailure ClassifyConnectFailure(const std::vector<OdbcDiagnostic>& diagnostics,
                                      std::string_view connectionString);

}  // namespace fas::db
