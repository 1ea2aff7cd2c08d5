// The ODBC backend running the whole catalog through a real driver manager and driver: unixODBC
// and the SQLite ODBC driver, with the T-SQL functions loaded into the driver's engine as an
// extension and each statement translated just before the driver sees it (the one thing SQL
// Server would not need). Whatever differs from the embedded backend is a fault of one of them.
// (A walk that never ends is ended by the CTest timeout.)

#include <gmock/gmock.h>

#include <regex>
#include <set>

#include "db/TsqlDialect.h"
#include "support/Environment.h"
#include "support/Site.h"
#include "tasks/ResultsLine.h"
#include "tools/DemoData.h"

namespace fas::trust {
namespace {

namespace fs = std::filesystem;
using db::DateTime;

const std::string kDriver = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";

// The demo database with the rows that break backends, generated once per test program.
const fs::path& AwkwardTemplate() {
    static const test::TempDir dir(true);
    static const fs::path file = [] {
        tools::DemoScale scale = tools::DemoScale::small();
        scale.awkwardRows = true;
        tools::GenerateDemoDatabase(dir.path() / "awkward.db", scale);
        return dir.path() / "awkward.db";
    }();
    return file;
}

// A copy whose server reaches the file through the ODBC backend; `sent` holds each statement as
// the backend handed it over, which is what SQL Server would receive.
struct OdbcSite : test::Site {
    std::set<std::string> sent;
    OdbcSite() : Site(AwkwardTemplate()) {
        state.DatabaseLocation = "Driver=" + kDriver + ";Database=" + test::HostName(file()) +
                                 ";LoadExt=" FAS_TSQL_EXTENSION ";";
        state.db.setLocation(state.DatabaseLocation, dir());
        state.db.translateOdbcStatements([this](std::string_view sql) {
            sent.emplace(sql);
            return sql == db::kOdbcSaveUnitSql       ? "SAVEPOINT fas_unit"
                   : sql == db::kOdbcRollbackUnitSql ? "ROLLBACK TO fas_unit"
                                                     : db::translateTsql(sql);
        });
    }
};

// Every row of every table of the file, read by the embedded engine and sorted. The SQLite ODBC
// driver writes a timestamp bound at SQL Server's datetime precision with its milliseconds
// ("2027-03-15 10:30:00.000"); SQL Server stores the same instant as the embedded engine does.
std::string SortedRows(const fs::path& file) {
    test::Site copy(file);
    return test::SortedLines(std::regex_replace(test::WithoutRunTimes(copy.contents()),
                                                std::regex(R"((\d\d:\d\d:\d\d|<time>)\.000')"),
                                                "$1'"));
}

class OdbcBackend : public testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(test::HostFile(kDriver))) {
            GTEST_SKIP() << "the SQLite ODBC driver (libsqliteodbc) is not installed";
        }
        if (!fs::exists(test::HostFile(FAS_TSQL_EXTENSION))) {
            // The Windows suites load the Linux build's module into the Linux driver.
            GTEST_SKIP() << "no T-SQL extension module at " FAS_TSQL_EXTENSION
                            ": build the Linux tree (cmake --preset ci) first";
        }
    }
};

// A first run, a second and a dry run on two copies, one through each backend: the same results
// lines after as many statements, the same rows (the outbox's texts among them); what the driver
// receives is what the statement check sees (and lints), besides the unit's savepoint.
TEST_F(OdbcBackend, RunsTheCatalogToTheSameEndAsTheEmbeddedEngine) {
    test::Site embedded(AwkwardTemplate());
    OdbcSite odbc;
    std::set<std::string> observed{std::string(db::kOdbcSaveUnitSql)};
    odbc.state.db.setStatementObserver(
        [&](std::string_view sql, const db::Params&) { observed.emplace(sql); });
    const DateTime now = DateTime::nowLocal();
    for (const char* run : {"first run", "second run", "steady run", "dry run"}) {
        SCOPED_TRACE(run);
        std::vector<std::string> lines;
        for (test::Site* site : {&embedded, static_cast<test::Site*>(&odbc)}) {
            site->state.options.dryRun = std::string(run) == "dry run";
            if (site->state.options.dryRun) {
                // Everything due again, so that the dry run's units are savepoints that commit.
                site->exec("DELETE FROM AutomationServer_Emails");
            }
            const std::uint64_t before = site->state.db.statementsIssued();
            site->run();
            lines.push_back(
                test::WithoutRunTimes(tasks::ResultsLine(site->state, now)) +
                " after statements: " + std::to_string(site->state.db.statementsIssued() - before));
        }
        EXPECT_EQ(lines[0], lines[1]);
        EXPECT_THAT(lines[0], testing::Not(testing::HasSubstr("Errors:")));
        EXPECT_EQ(SortedRows(embedded.file()), SortedRows(odbc.file()));
    }
    EXPECT_THAT(odbc.sent, testing::ContainerEq(observed));
}

}  // namespace
}  // namespace fas::trust
