// Every statement the ODBC backend would send, captured from start-up, --check and real runs,
// must parse as T-SQL (Debian's sqlfluff), call only SQL Server's built-in functions and hold
// only literals of the system's own: values are bound, never pasted.
#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <regex>
#include <set>
#include <sstream>

#include "db/Text.h"
#include "db/TsqlTokenizer.h"
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

// The T-SQL built-ins the catalog may use; any other call (strftime, ifnull, substr...) is a
// SQLite construct that slipped into the text.
const std::set<std::string> kBuiltIns = {
    "ISNULL",  "COALESCE", "COUNT",   "MAX",     "MIN",   "SUM",    "AVG",
    "DATEADD", "DATEDIFF", "GETDATE", "CONVERT", "CAST",  "LEFT",   "RIGHT",
    "LEN",     "LTRIM",    "RTRIM",   "UPPER",   "LOWER", "NULLIF", "ABS"};
// Words that stand before '(' without calling a function.
const std::set<std::string> kNotCalls = {"IN",  "VALUES", "EXISTS", "AND",  "OR",    "NOT",
                                         "ON",  "FROM",   "JOIN",   "AS",   "WHERE", "SELECT",
                                         "SET", "WHEN",   "THEN",   "ELSE", "TOP"};
std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
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

// One line per statement, each ? numbered as @p1, @p2...; the T-SQL faults the parser lets pass.
std::string asLine(const std::string& sql, std::string& faults) {
    const auto tokens = db::tokenizeTsql(sql);
    std::string line;
    std::string previous;
    int number = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        std::string text = sql.substr(tokens[i].begin, tokens[i].end - tokens[i].begin);
        if (tokens[i].kind == Kind::Placeholder) {
            text = "@p" + std::to_string(++number);
        } else if (tokens[i].kind == Kind::Name) {
            const std::string word = upper(text);
            const bool call = i + 1 < tokens.size() && tokens[i + 1].kind == Kind::LeftParen;
            if (call && !kNotCalls.count(word) && previous != "INTO" && previous != "." &&
                !kBuiltIns.count(word)) {
                faults += " function " + text + ";";
            }
            if (word == "LIMIT" || (previous == "INSERT" && word == "OR")) {
                faults += " " + word + ";";
            }
        } else if (tokens[i].kind == Kind::Operator && text == "||") {
            faults += " ||;";
        } else if (tokens[i].kind == Kind::String && sources().find(text) == std::string::npos) {
            faults += " literal " + text + " is no text of the system's own;";
        }
        for (char& c : text) {
            c = c == '\r' || c == '\n' || c == '\t' ? ' ' : c;
        }
        if (tokens[i].kind != Kind::Blank) {
            previous = upper(text);
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
    issued.emplace(db::kOdbcSaveUnitSql);  // units inside the dry run's transaction
    issued.emplace(db::kOdbcRollbackUnitSql);

    // One file per statement, in two folders parsed side by side: sqlfluff parses a folder of
    // small files in seconds, where one file holding them all takes it many minutes.
    std::ofstream(dir.path() / ".sqlfluff") << "[sqlfluff]\nlarge_file_skip_byte_limit = 0\n";
    const std::string folders[] = {"statements0", "statements1"};
    for (const std::string& folder : folders) {
        fs::create_directory(dir.path() / folder);
    }
    std::vector<std::string> statements;
    for (const std::string& sql : issued) {
        std::string faults;
        char name[16];
        std::snprintf(name, sizeof name, "s%03zu.sql", statements.size());
        std::ofstream(dir.path() / folders[statements.size() % 2] / name, std::ios::binary)
            << asLine(sql, faults) << ";\n";
        statements.push_back(sql);
        EXPECT_EQ(faults, "") << "not T-SQL: " << sql;
    }
    std::string pasted;
    asLine("SELECT ID FROM Driver WHERE LastName = 'Kowalski'", pasted);
    EXPECT_NE(pasted, "") << "a value pasted into a statement is found";
    std::cout << "T-SQL check: " << statements.size() << " distinct statements\n";
    ASSERT_GT(statements.size(), 150u);

    std::future<test::ProcessResult> parses[2];
    for (int i = 0; i < 2; ++i) {
        parses[i] = std::async(std::launch::async, [&, i] {
            return test::RunProcess({"/usr/bin/sqlfluff",
                                     {"parse", "--dialect", "tsql", "--format", "json", folders[i]},
                                     {},
                                     dir.path()},
                                    std::chrono::minutes(10));
        });
    }
    std::string report, errors;
    for (auto& parse : parses) {
        const test::ProcessResult parsed = parse.get();
        EXPECT_EQ(parsed.exitStatus, 0) << parsed.err;
        report += parsed.out;
        errors += parsed.err;
    }
    // Each report is a list of {"filepath": ..., "segments": ...}, one per file.
    std::size_t checked = 0;
    for (std::size_t at = report.find("\"filepath\""); at != std::string::npos; ++checked) {
        const std::size_t next = report.find("\"filepath\"", at + 1);
        const std::size_t index = std::stoul(report.substr(report.find("/s", at) + 2, 3));
        const std::string& sql = statements.at(index);
        const bool rejected =
            report.substr(at, next - at).find("\"unparsable\"") != std::string::npos;
        EXPECT_FALSE(rejected) << "sqlfluff rejects: " << sql;
        at = next;
    }
    EXPECT_EQ(checked, statements.size()) << report.substr(0, 2000) << errors;
}

}  // namespace
}  // namespace fas
