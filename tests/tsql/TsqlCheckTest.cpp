// Every statement the ODBC backend would send, captured from real runs, must parse as T-SQL
// (Debian's sqlfluff) and call only SQL Server's built-in functions.
#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "db/Text.h"
#include "db/TsqlTokenizer.h"
#include "startup/Preflight.h"
#include "startup/Startup.h"
#include "support/ProcessRunner.h"
#include "support/TestDatabase.h"
#include "tasks/RuleCatalog.h"
#include "tasks/RunTasks.h"
#include "tools/DemoData.h"

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
// Statements sqlfluff 1.4.5 rejects although SQL Server runs them: a text they start with, why.
const std::map<std::string, std::string> kSqlfluffExceptions = {};

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
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

// The source file holding the longest beginning of the statement (adjacent literals joined).
std::string builtIn(const std::string& sql) {
    static const std::vector<std::pair<std::string, std::string>> sources = [] {
        std::vector<std::pair<std::string, std::string>> out;
        const fs::path src = fs::path(FAS_SOURCE_DIR) / "src";
        for (const auto& entry : fs::recursive_directory_iterator(src)) {
            std::ifstream in(entry.path());
            std::stringstream text;
            text << in.rdbuf();
            out.emplace_back(fs::relative(entry.path(), FAS_SOURCE_DIR).string(),
                             std::regex_replace(text.str(), std::regex("\"\\s*\n\\s*\""), ""));
        }
        return out;
    }();
    for (std::size_t length = std::min<std::size_t>(sql.size(), 60); length >= 12; --length) {
        for (const auto& [file, text] : sources) {
            if (text.find(sql.substr(0, length)) != std::string::npos) {
                return file;
            }
        }
    }
    return "a statement assembled from catalog fragments";
}

TEST(TsqlCheck, EveryStatementOfStartupCheckAndRunsIsTsql) {
    test::TempDir dir;
    tools::GenerateDemoDatabase(dir.path() / "compliance.db", tools::DemoScale::small());
    const fs::path config = dir.path() / "config.txt";
    std::ofstream(config, std::ios::binary)
        << "\"Configuration\"\r\n\"Database Location\",\"sqlite:compliance.db\"\r\n\"Caption\","
           "\"Check\"\r\n";

    std::map<std::string, std::string> issuedBy;  // statement -> the part that issued it first
    std::string phase;
    ServerState state;
    state.options.pickupDirectory = dir.path() / "pickup";
    state.db.setStatementObserver([&](std::string_view sql, const db::Params&) {
        issuedBy.emplace(std::string(sql), phase);
    });
    phase = "start-up";
    ASSERT_EQ(startup::StartServer(state, config).status, startup::StartupStatus::Ready);
    phase = "--check";
    std::ostringstream checkOut;
    startup::RunPreflight(state, config, checkOut);
    tasks::TaskList steps = tasks::RuleCatalog();
    for (tasks::TaskStep& step : steps) {
        step.run = [&phase, label = step.label, run = step.run](ServerState& s) {
            phase = label;
            run(s);
        };
    }
    for (const bool dryRun : {false, false, true}) {
        state.options.dryRun = dryRun;
        phase = "the task run";
        tasks::RunTasks(state, steps);
        EXPECT_TRUE(state.report.errors.empty()) << state.report.errors.front();
    }
    issuedBy.emplace(db::kOdbcSaveUnitSql, "a unit inside the dry run's transaction");
    issuedBy.emplace(db::kOdbcRollbackUnitSql, "a unit inside the dry run's transaction");

    // One file per statement, in two folders parsed side by side: sqlfluff parses a folder of
    // small files in seconds, where one file holding them all takes it many minutes.
    std::ofstream(dir.path() / ".sqlfluff") << "[sqlfluff]\nlarge_file_skip_byte_limit = 0\n";
    const std::string folders[] = {"statements0", "statements1"};
    for (const std::string& folder : folders) {
        fs::create_directory(dir.path() / folder);
    }
    std::vector<std::string> statements;
    for (const auto& [sql, by] : issuedBy) {
        std::string faults;
        char name[16];
        std::snprintf(name, sizeof name, "s%03zu.sql", statements.size());
        std::ofstream(dir.path() / folders[statements.size() % 2] / name, std::ios::binary)
            << asLine(sql, faults) << ";\n";
        statements.push_back(sql);
        EXPECT_EQ(faults, "") << "not T-SQL: " << sql << "\n(issued by " << by << ", built in "
                              << builtIn(sql) << ")";
    }
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
        const bool excepted =
            std::any_of(kSqlfluffExceptions.begin(), kSqlfluffExceptions.end(),
                        [&](const auto& exception) { return sql.rfind(exception.first, 0) == 0; });
        EXPECT_EQ(rejected, excepted)
            << (rejected ? "sqlfluff rejects: " : "no longer rejected, drop the exception: ") << sql
            << "\n(issued by " << issuedBy[sql] << ", built in " << builtIn(sql) << ")";
        at = next;
    }
    EXPECT_EQ(checked, statements.size()) << report.substr(0, 2000) << errors;
}

}  // namespace
}  // namespace fas
