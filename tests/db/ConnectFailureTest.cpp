// What a failed connect tells the administrator, and what a failed statement means for the run,
// from the texts the real drivers give.

#include <gmock/gmock.h>

#include "db/ConnectFailure.h"
#include "db/StatementFailure.h"

namespace fas::db {
namespace {

TEST(ConnectFailure, CertificatesNeedAPersonOtherClass08MayPassNamedInstancesGetTheirHint) {
    const std::string ms = "[Microsoft][ODBC Driver 18 for SQL Server]";
    struct Case {
        std::vector<OdbcDiagnostic> diagnostics;
        std::string server;
        bool mayPass;
        std::string advice;  // a part of it; empty: none
    };
    const std::vector<Case> cases = {
        {{{"08001", ms + "SSL Provider: [error:0A000086:SSL routines::certificate verify "
                         "failed:self-signed certificate]"},
          {"08001", ms + "Client unable to establish connection"}},
         "sql01",
         false,
         "TrustServerCertificate=yes"},
        {{{"08001", ms + "SSL Provider: The certificate chain was issued by an authority that is "
                         "not trusted."}},
         "sql01",
         false,
         "HostNameInCertificate="},
        {{{"08001", ms + "SSL Provider: [error:0A000102:SSL routines::unsupported protocol]"}},
         "sql01",
         false,
         "TLS 1.2"},
        {{{"08001", ms + "TCP Provider: Error code 0x2749"}}, "sql01", true, ""},
        {{{"08001", "[FreeTDS][SQL Server]Unable to connect to data source"},
          {"08S01",
           "[FreeTDS][SQL Server]Unable to connect: Adaptive Server is unavailable or "
           "does not exist"}},
         "sql01\\FLEET",
         true,
         ""},
        {{{"HYT00", ms + "Login timeout expired"}},
         "sql01\\FLEET",
         true,
         "Server=host\\instance,port"},
        {{{"HYT00", ms + "Login timeout expired"}}, "sql01\\FLEET,1433", true, ""},
        {{{"HYT00", ms + "Login timeout expired"}}, "tcp:sql01", true, ""},
        {{{"28000", ms + "Login failed for user 'automation'."}}, "sql01", false, ""},
        {{{"IM002", "[unixODBC][Driver Manager]Data source name not found"}}, "sql01", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.diagnostics.front().text + " / " + c.server);
        const auto failure = ClassifyConnectFailure(
            c.diagnostics, "Driver={X};Server= " + c.server + " ;Database=Fleet;UID=a;PWD=b");
        EXPECT_EQ(failure.mayPassByItself, c.mayPass);
        if (c.advice.empty()) {
            EXPECT_EQ(failure.advice, "");
        } else {
            EXPECT_THAT(failure.advice, testing::HasSubstr(c.advice));
        }
    }
}

TEST(StatementFailure, DeadlockVictimsLockTimeOutsQueryTimeoutsAndLostConnectionsAreTold) {
    const std::string ms = "[Microsoft][ODBC Driver 18 for SQL Server]";
    const std::string victim =
        " was deadlocked on lock resources with another process and has been chosen as the "
        "deadlock victim. Rerun the transaction.";
    struct Case {
        OdbcDiagnostic diagnostic;
        bool lost, deadlock, mayPass;
        std::string words;  // a part of the message
    };
    const std::vector<Case> cases = {
        {{"40001", ms + "[SQL Server]Transaction (Process ID 57)" + victim, 1205},
         false,
         true,
         true,
         "the insert into Issues was chosen as the victim of a deadlock"},
        {{"40001", "[FreeTDS][SQL Server]Transaction (Process ID 53)" + victim, 1205},
         false,
         true,
         true,
         "victim of a deadlock with another program"},
        {{"HYT00", ms + "[SQL Server]Lock request time out period exceeded.", 1222},
         false,
         false,
         true,
         "the insert into Issues waited longer than the database's lock "
         "time-out"},
        {{"HYT00", ms + "Query timeout expired", 0},
         false,
         false,
         true,
         "did not finish within the query timeout of 30 s"},
        {{"08S01", ms + "TCP Provider: Error code 0x2746", 10054},
         true,
         false,
         false,
         "08S01 " + ms + "TCP Provider"},
        {{"23000", ms + "[SQL Server]Violation of PRIMARY KEY constraint 'PK_Issues'.", 2627},
         false,
         false,
         false,
         "23000 " + ms + "[SQL Server]Violation"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.diagnostic.text);
        const std::string described = c.diagnostic.state + " " + c.diagnostic.text;
        const DatabaseError e =
            StatementError({c.diagnostic}, "INSERT INTO Issues (ID) VALUES (?)", described, 30);
        EXPECT_EQ(e.connectionLost(), c.lost);
        EXPECT_EQ(e.deadlockVictim(), c.deadlock);
        EXPECT_EQ(e.mayPassByItself(), c.mayPass);
        EXPECT_THAT(e.what(), testing::HasSubstr(c.words));
        EXPECT_THAT(e.what(), testing::HasSubstr(described + " in statement: INSERT INTO Issues"));
    }
}

}  // namespace
}  // namespace fas::db
