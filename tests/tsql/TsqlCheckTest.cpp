// Every statement the ODBC backend would send, captured from start-up, --check and real runs,
// must parse as T-SQL (Debian's sqlfluff), call none of SQLite's own functions and hold only
// literals of the system's own: values are bound, never pasted.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "db/Text.h"
#include "db/TsqlTokenizer.h"
#include "monitoring/RunMonitor.h"
#include "startup/Preflight.h"
#include "startup/Startup.h"
#include "support/ProcessRunner.h"
#include "support/Site.h"
#include "tasks/RuleCatalog.h"
#include "tasks/RunTasks.h"

namespace fas {
namespace {

namespace fs = std::filesystem;
using Kind = db::TsqlTokenKind;

// SQLite's own functions, which SQL Server lacks: one that slipped into a text parses as a call
// but fails there.
const std::set<std::string> kSqliteOnly = {
    "IFNULL", "SUBSTR",       "STRFTIME", "DATETIME", "JULIANDAY", "DATE",  "TIME",
    "INSTR",  "GROUP_CONCAT", "PRINTF",   "LENGTH",   "TOTAL",     "RANDOM"};
std::string upper(std::string text) {
    std::ranges::transform(text, text.begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// The system's own sources, adjacent string literals joined: every literal a statement holds is
// written there, never a value of a row pasted in.
const std::string& sources() {
    static const std::string text = [] {
        std::string all;
        for (const auto& entry : fs::recursive_directory_iterator(fs::path(FAS_SOURCE_DIR) / "src"))
            all += test::ReadWholeFile(entry.path());
        return std::regex_replace(all, std::regex("\"\\s*\n\\s*\""), "");
    }();
    return text;
}

// One line per statement, each ? numbered as @p1, @p2...; the faults the parser lets pass (a
// SQLite function parses as a call, a pasted value as a literal). SQLite's LIMIT, || and INSERT OR
// it rejects itself.
std::string asLine(const std::string& sql, std::string& faults) {
    const auto tokens = db::tokenizeTsql(sql);
    std::string line;
    int number = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        std::string text = sql.substr(tokens[i].begin, tokens[i].end - tokens[i].begin);
        if (tokens[i].kind == Kind::Placeholder) {
            text = "@p" + std::to_string(++number);
        } else if (tokens[i].kind == Kind::Name && kSqliteOnly.count(upper(text)) &&
                   i + 1 < tokens.size() && tokens[i + 1].kind == Kind::LeftParen) {
            faults += " function " + text + ";";
        } else if (tokens[i].kind == Kind::String && sources().find(text) == std::string::npos) {
            faults += " literal " + text + " is no text of the system's own;";
        }
        for (char& c : text) {
            c = c == '\r' || c == '\n' || c == '\t' ? ' ' : c;
        }
        line += text;
    }
    return line;
}

TEST(TsqlCheck, EveryStatementOfStartupCheckAndRunsIsTsql) {
    const test::Site site(test::DemoTemplate());
    const test::TempDir dir;
    std::set<std::string> issued;
    ServerState state;
    state.options.pickupDirectory = site.pickup();
    state.db.setStatementObserver(
        [&](std::string_view sql, const db::Params&) { issued.emplace(sql); });
    ASSERT_EQ(startup::StartServer(state, site.config()).status, startup::StartupStatus::Ready);
    std::ostringstream checkOut;
    startup::RunPreflight(state, site.config(), checkOut);
    for (const bool dryRun : {false, false, true}) {
        state.options.dryRun = dryRun;
        tasks::RunTasks(state, tasks::RuleCatalog());
        EXPECT_TRUE(state.report.errors.empty()) << state.report.errors.front();
    }
    // The outbox count behind the metrics.
    monitoring::RunMonitor({.metricsFile = dir.path() / "metrics.prom"}, "1", std::clog)
        .started(state);
    issued.emplace(db::kOdbcSaveUnitSql);  // units inside the dry run's transaction
    issued.emplace(db::kOdbcRollbackUnitSql);

    // One file per statement: sqlfluff parses a folder of small files in seconds, where one file
    // holding them all takes it many minutes. A lint with one layout rule reports each file that
    // does not parse; the last one, neither T-SQL nor the system's own, shows that the checks work.
    // Lines sqlfluff accepted before are kept in the build tree and not parsed again: the verdict
    // on a text never changes, and a fresh build tree parses all of them.
    std::ofstream(dir.path() / ".sqlfluff") << "[sqlfluff]\nlarge_file_skip_byte_limit = 0\n";
    const fs::path cacheFile = fs::path(FAS_BINARY_DIR) / "sqlfluff-accepted.txt";
    std::set<std::string> accepted;
    {
        std::ifstream cache(cacheFile, std::ios::binary);
        for (std::string line; std::getline(cache, line);)
            accepted.insert(line);
    }
    std::vector<std::string> statements(issued.begin(), issued.end());
    statements.push_back("SELECT IFNULL(ID, 0) FROM Driver LIMIT 1 WHERE LastName = 'Kowalski'");
    std::vector<std::string> lines(statements.size());
    for (std::size_t i = 0; i < statements.size(); ++i) {
        std::string faults;
        lines[i] = asLine(statements[i], faults);
        if (i + 1 == statements.size() || !accepted.count(lines[i])) {
            std::ofstream(dir.path() / ("s" + std::to_string(i) + ".sql"), std::ios::binary)
                << lines[i] << ";\n";
        }
        EXPECT_EQ(faults,
                  i + 1 < statements.size()
                      ? ""
                      : " function IFNULL; literal 'Kowalski' is no text of the system's own;")
            << "not T-SQL: " << statements[i];
    }
    ASSERT_GT(issued.size(), 150u);

    const test::ProcessResult linted =
        test::RunProcess({"/usr/bin/sqlfluff",
                          {"lint", "--dialect", "tsql", "--rules", "L009", "--processes", "0", "."},
                          {},
                          dir.path()},
                         std::chrono::minutes(10));
    std::set<std::string> rejected;
    const std::regex failed(R"(\bs(\d+)\.sql\] FAIL)");
    for (auto it = std::sregex_iterator(linted.out.begin(), linted.out.end(), failed);
         it != std::sregex_iterator(); ++it) {
        rejected.insert(statements.at(std::stoul((*it)[1])));
    }
    EXPECT_EQ(rejected, std::set<std::string>{statements.back()}) << linted.out << linted.err;
    if (rejected == std::set<std::string>{statements.back()}) {
        std::ofstream cache(cacheFile, std::ios::binary | std::ios::app);
        for (std::size_t i = 0; i + 1 < statements.size(); ++i) {
            if (!accepted.count(lines[i]))
                cache << lines[i] << "\n";
        }
    }
}

}  // namespace
}  // namespace fas
