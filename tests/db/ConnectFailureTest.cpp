// What a failed connect tells the administrator, and what a failed statement means for the run,
// from the texts the real drivers give.

#include <gmock/gmock.h>

#include "db/ConnectFailure.h"
#include "db/StatementFailure.h"

namespace fas::db {
namespace {

using testing::HasSubstr;

const std::string ms = "[Microsoft][ODBC Driver 18 for SQL Server]";

TEST(ConnectFailure, CertificatesNeedAPersonOtherClass08MayPassNamedInstancesGetTheirHint) {
    // The server named, whether the failure may pass by itself, a part of the advice (empty:
    // none), and what the driver said.
    const auto expect = [](const std::string& server, bool mayPass, const std::string& advice,
                           const std::vector<OdbcDiagnostic>& diagnostics) {
        SCOPED_TRACE(diagnostics.front().text + " / " + server);
        const auto failure = ClassifyConnectFailure(
            diagnostics, "Driver={X};Server= " + server + " ;Database=Fleet;UID=a;PWD=b");
        EXPECT_EQ(failure.mayPassByItself, mayPass);
        EXPECT_EQ(failure.advice.empty(), advice.empty()) << failure.advice;
        EXPECT_THAT(failure.advice, HasSubstr(advice));
    };
    expect("sql01", false, "TrustServerCertificate=yes",
           {{"08001", ms + "SSL Provider: [error:0A000086:SSL routines::certificate verify "
                           "failed:self-signed certificate]"},
            {"08001", ms + "Client unable to establish connection"}});
    expect("sql01", true, "", {{"08001", ms + "TCP Provider: Error code 0x2749"}});
    const std::vector<OdbcDiagnostic> timeout = {{"HYT00", ms + "Login timeout expired"}};
    expect("sql01\\FLEET", true, "Server=host\\instance,port", timeout);
    expect("sql01", false, "", {{"28000", ms + "Login failed for user 'automation'."}});
}

TEST(StatementFailure, DeadlockVictimsLockTimeOutsQueryTimeoutsAndLostConnectionsAreTold) {
    const std::string victim =
        " was deadlocked on lock resources with another process and has been chosen as the "
        "deadlock victim. Rerun the transaction.";
    // Whether the connection is lost, the statement a deadlock victim, the failure may pass; a
    // part of the message; what the driver said.
    const auto expect = [](bool lost, bool deadlock, bool mayPass, const std::string& words,
                           const OdbcDiagnostic& diagnostic) {
        SCOPED_TRACE(diagnostic.text);
        const std::string described = diagnostic.state + " " + diagnostic.text;
        const DatabaseError e =
            StatementError({diagnostic}, "INSERT INTO Issues (ID) VALUES (?)", described, 30);
        EXPECT_EQ(e.connectionLost(), lost);
        EXPECT_EQ(e.deadlockVictim(), deadlock);
        EXPECT_EQ(e.mayPassByItself(), mayPass);
        EXPECT_THAT(e.what(), HasSubstr(words));
        EXPECT_THAT(e.what(), HasSubstr(described + " in statement: INSERT INTO Issues"));
    };
    expect(false, true, true,
           "the insert into Issues was chosen as the victim of a deadlock with another program",
           {"40001", ms + "[SQL Server]Transaction (Process ID 57)" + victim, 1205});
    expect(false, false, true,
           "the insert into Issues waited longer than the database's lock time-out",
           {"HYT00", ms + "[SQL Server]Lock request time out period exceeded.", 1222});
    expect(false, false, true, "did not finish within the query timeout of 30 s",
           {"HYT00", ms + "Query timeout expired", 0});
    expect(true, false, false, "08S01 " + ms + "TCP Provider",
           {"08S01", ms + "TCP Provider: Error code 0x2746", 10054});
    expect(false, false, false, "23000 " + ms + "[SQL Server]Violation",
           {"23000", ms + "[SQL Server]Violation of PRIMARY KEY constraint 'PK_Issues'.", 2627});
}

}  // namespace
}  // namespace fas::db
