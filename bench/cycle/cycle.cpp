// Measures a full task run on generated databases: the first run (everything due is raised and
// queued), a steady run (nothing new), the peak resident memory, and the floor: the time the
// engine alone needs for the steady run's statements, replayed through the SQLite C API with
// every row and column fetched and no program logic.
#include <sqlite3.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/TsqlDialect.h"
#include "startup/CompanySettingsLoader.h"
#include "state/ServerState.h"
#include "tasks/RuleCatalog.h"
#include "tasks/RunTasks.h"
#include "tools/DemoData.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

struct Recorded {
    std::string sql;
    fas::db::Params params;
};

long peakRssMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// Replays the statements as the engine sees them: translated once, prepared once, every value
// bound, every row stepped and every column read.
double replay(const std::filesystem::path& file, const std::vector<Recorded>& statements) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        throw std::runtime_error("cannot open " + file.string());
    }
    sqlite3_busy_timeout(db, 10000);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr,
                 nullptr);
    fas::db::registerTsqlFunctions(db);
    std::unordered_map<std::string, std::string> translated;
    for (const Recorded& r : statements) {
        translated.emplace(r.sql, fas::db::translateTsql(r.sql));
    }
    std::unordered_map<std::string, sqlite3_stmt*> prepared;
    const auto start = Clock::now();
    long long sink = 0;
    for (const Recorded& r : statements) {
        sqlite3_stmt*& stmt = prepared[r.sql];
        if (stmt == nullptr) {
            const std::string& text = translated.at(r.sql);
            sqlite3_prepare_v3(db, text.c_str(), static_cast<int>(text.size()),
                               SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
        }
        for (std::size_t i = 0; i < r.params.size(); ++i) {
            const auto& v = r.params[i];
            const int n = static_cast<int>(i + 1);
            if (v.isNull()) {
                sqlite3_bind_null(stmt, n);
            } else if (const auto* integer = v.integer()) {
                sqlite3_bind_int64(stmt, n, *integer);
            } else if (const auto* real = v.real()) {
                sqlite3_bind_double(stmt, n, *real);
            } else if (const auto* text = v.text()) {
                sqlite3_bind_text(stmt, n, text->c_str(), static_cast<int>(text->size()),
                                  SQLITE_TRANSIENT);
            } else {
                const std::string iso = v.dateTime()->toIso();
                sqlite3_bind_text(stmt, n, iso.c_str(), static_cast<int>(iso.size()),
                                  SQLITE_TRANSIENT);
            }
        }
        const int columns = sqlite3_column_count(stmt);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c) {
                if (sqlite3_column_type(stmt, c) == SQLITE_TEXT) {
                    sink += sqlite3_column_bytes(stmt, c);
                } else {
                    sink += sqlite3_column_int64(stmt, c);
                }
            }
        }
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
    }
    const double elapsed = seconds(Clock::now() - start);
    for (auto& [text, stmt] : prepared) {
        sqlite3_finalize(stmt);
    }
    sqlite3_close_v2(db);
    if (sink == 42) {
        std::puts("");
    }
    return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    double factor = 0.02;
    std::filesystem::path work = std::filesystem::temp_directory_path() / "fas-cycle-bench";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--scale") {
            factor = std::stod(argv[i + 1]);
        } else if (arg == "--work") {
            work = argv[i + 1];
        }
    }
    try {
        std::filesystem::remove_all(work);
        std::filesystem::create_directories(work / "outbox");
        const auto file = work / "compliance.db";
        const fas::tools::DemoScale scale = fas::tools::DemoScale::scaled(factor);
        const auto generateStart = Clock::now();
        fas::tools::GenerateDemoDatabase(file, scale);
        const double generated = seconds(Clock::now() - generateStart);

        fas::ServerState state;
        state.DatabaseLocation = "sqlite:" + file.string();
        state.configDirectory = work;
        state.db.setLocation(state.DatabaseLocation, work);
        state.options.pickupDirectory = work / "outbox";
        if (!state.db.OpenDatabase()) {
            throw std::runtime_error(state.db.lastOpenError());
        }
        fas::startup::LoadCompanySettings(state);
        state.db.CloseDatabase();

        auto run = [&]() {
            const auto start = Clock::now();
            fas::tasks::RunTasks(state, fas::tasks::RuleCatalog());
            return seconds(Clock::now() - start);
        };
        const double first = run();
        const int firstEmails = state.counters.emails();
        const int firstCreated = state.counters.issuesCreated();
        const int firstClosed = state.counters.issuesClosed();
        // Until a run finds nothing new: issues raised late in a run are noticed once by step 78
        // in the next, and a first run that raises more than 32767 issues stops counting.
        int settling = 0;
        for (; settling < 6; ++settling) {
            run();
            if (state.counters.emails() + state.counters.issuesCreated() +
                    state.counters.issuesClosed() ==
                0) {
                break;
            }
        }

        // Steady runs and their floor: the best of three each, so that a busy machine
        // disturbs the ratio as little as possible.
        std::vector<Recorded> recorded;
        state.db.setStatementObserver([&](std::string_view sql, const fas::db::Params& params) {
            recorded.push_back({std::string(sql), params});
        });
        double steady = run();
        state.db.setStatementObserver(nullptr);
        steady = std::min({steady, run(), run()});
        const int steadyWork = state.counters.emails() + state.counters.issuesCreated() +
                               state.counters.issuesClosed();

        const double floor =
            std::min({replay(file, recorded), replay(file, recorded), replay(file, recorded)});
        std::printf(
            "| %d | %d | %d | %.2f s | %.3f s (%d/%d/%d) | %.3f s (%d) | %.3f s | %.2f | %ld MB | "
            "%zu |\n",
            scale.contracts, scale.vehicles, scale.drivers, generated, first, firstEmails,
            firstCreated, firstClosed, steady, steadyWork, floor, steady / floor,
            peakRssMegabytes(), recorded.size());
        if (std::getenv("FAS_BENCH_STATEMENTS") != nullptr) {
            std::map<std::string, int> shapes;
            for (const Recorded& r : recorded) {
                ++shapes[r.sql.substr(0, 90)];
            }
            for (const auto& [shape, n] : shapes) {
                std::fprintf(stderr, "%6d  %s\n", n, shape.c_str());
            }
        }
        if (!state.report.errors.empty()) {
            std::cerr << "run errors: " << state.report.errors.front() << "\n";
            return 1;
        }
        std::filesystem::remove_all(work);
    } catch (const std::exception& e) {
        std::cerr << "cycle_bench: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
