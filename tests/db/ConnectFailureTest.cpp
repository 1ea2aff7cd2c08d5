// What a failed connect tells the administrator, from the texts the real drivers give.

#include <gmock/gmock.h>

#include "db/ConnectFailure.h"

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

}  // namespace
}  // namespace fas::db
