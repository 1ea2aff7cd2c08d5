// Measures task runs on generated databases, per scale: the first run (everything due raised and
// queued) and a steady run (nothing new), each as the real server process (`--once`, its wall
// time and peak resident memory), and each run's floor: the run's statements and values,
// recorded through the statement observer of an in-process run on a copy of the same start
// database, then replayed through the SQLite C API on another copy: translated and prepared
// once per text (preparing timed, translating not), every value bound, every row stepped and
// every column read, one transaction per step as the run has it, no program logic.
//
// usage: fas-bench-cycle --server PATH [--scales 0.02,0.2,1,4,10] [--work DIR] [--tsv FILE]
//                        [--outbox DIR] [--floor-max SCALE]
// Floors above --floor-max are not measured (0 in the table); the steady run is the best of three
// up to scale 1, else one run.
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/TsqlDialect.h"
#include "startup/CompanySettingsLoader.h"
#include "state/ServerState.h"
#include "tasks/RuleCatalog.h"
#include "tasks/RunTasks.h"
#include "tools/DemoData.h"

namespace fs = std::filesystem;

namespace {

// Where messages go: a pickup directory, by default on a memory file system, so that what is
// measured is the run and not the creation of thousands of files on the disk.
fs::path gOutbox = "/dev/shm/fas-cycle-bench-outbox";
// Floors (an in-process recorded run and its replay, twice the time of a run) are measured up to
// this scale.
double gFloorMax = 100;

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

void check(int rc, sqlite3* db, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
    }
}

// The statements of a run with their values, written to a file as the observer hands them over
// (a first run of the largest scale issues millions), with the step boundaries: each catalog
// step but the dispatch is one transaction, as the run has it.
class Recording {
  public:
    static constexpr std::uint32_t kBegin = 0;
    static constexpr std::uint32_t kCommit = 1;

    explicit Recording(const fs::path& file) : out_(file, std::ios::binary) {
        texts_ = {"BEGIN IMMEDIATE", "COMMIT"};
    }
    void mark(std::uint32_t id) { put(id), put(std::uint16_t{0}); }
    void statement(std::string_view sql, const fas::db::Params& params) {
        auto [it, added] =
            ids_.emplace(std::string(sql), static_cast<std::uint32_t>(texts_.size()));
        if (added) {
            texts_.emplace_back(sql);
        }
        put(it->second);
        put(static_cast<std::uint16_t>(params.size()));
        for (const auto& v : params) {
            if (v.isNull()) {
                put(char('n'));
            } else if (const auto* integer = v.integer()) {
                put(char('i')), put(static_cast<std::int64_t>(*integer));
            } else if (const auto* real = v.real()) {
                put(char('r')), put(*real);
            } else {
                const std::string text = v.text() ? *v.text() : v.dateTime()->toIso();
                put(char('t')), put(static_cast<std::uint32_t>(text.size()));
                out_.write(text.data(), static_cast<std::streamsize>(text.size()));
            }
        }
    }
    const std::vector<std::string>& texts() {
        out_.flush();
        return texts_;
    }

  private:
    template <typename T>
    void put(T v) {
        out_.write(reinterpret_cast<const char*>(&v), sizeof v);
    }
    std::ofstream out_;
    std::unordered_map<std::string, std::uint32_t> ids_;
    std::vector<std::string> texts_;
};

struct Replayed {
    double seconds = 0;
    long statements = 0;
    long notifiedRows = 0;
};

// Replays a recording on a copy of the database the run started from: translated and prepared
// once per text, every value bound, every row stepped and every column read. Only the engine's
// part is timed, not the reading of the recording.
Replayed replay(const fs::path& file, const fs::path& recording,
                const std::vector<std::string>& texts) {
    sqlite3* db = nullptr;
    check(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), db, "open");
    sqlite3_exec(db,
                 "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA "
                 "cache_size=-65536; PRAGMA wal_autocheckpoint=10000",
                 nullptr, nullptr, nullptr);
    fas::db::registerTsqlFunctions(db);
    std::vector<sqlite3_stmt*> prepared(texts.size(), nullptr);
    std::ifstream in(recording, std::ios::binary);
    const auto get = [&](auto& v) { in.read(reinterpret_cast<char*>(&v), sizeof v); };
    Replayed r;
    long long sink = 0;
    std::string text;
    for (std::uint32_t id = 0; get(id), in;) {
        std::uint16_t n = 0;
        get(n);
        if (id == Recording::kBegin || id == Recording::kCommit) {
            const auto start = Clock::now();
            sqlite3_exec(db, texts[id].c_str(), nullptr, nullptr, nullptr);
            r.seconds += seconds(Clock::now() - start);
            continue;
        }
        ++r.statements;
        const std::string& sql = texts[id];
        if (sql.rfind("INSERT INTO AutomationServer_Emails ", 0) == 0) {
            ++r.notifiedRows;
        }
        sqlite3_stmt*& stmt = prepared[id];
        if (stmt == nullptr) {
            // Preparing is the engine's work (a text of ID lists is prepared for one use);
            // translating from T-SQL is the program's.
            const std::string translated = fas::db::translateTsql(sql);
            const auto start = Clock::now();
            check(sqlite3_prepare_v3(db, translated.c_str(), static_cast<int>(translated.size()),
                                     SQLITE_PREPARE_PERSISTENT, &stmt, nullptr),
                  db, "prepare");
            r.seconds += seconds(Clock::now() - start);
        }
        for (int i = 1; i <= n; ++i) {
            char kind = 0;
            get(kind);
            if (kind == 'n') {
                sqlite3_bind_null(stmt, i);
            } else if (kind == 'i') {
                std::int64_t v = 0;
                get(v);
                sqlite3_bind_int64(stmt, i, v);
            } else if (kind == 'r') {
                double v = 0;
                get(v);
                sqlite3_bind_double(stmt, i, v);
            } else {
                std::uint32_t size = 0;
                get(size);
                text.resize(size);
                in.read(text.data(), size);
                sqlite3_bind_text(stmt, i, text.data(), static_cast<int>(size), SQLITE_TRANSIENT);
            }
        }
        const auto start = Clock::now();
        const int columns = sqlite3_column_count(stmt);
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c) {
                if (sqlite3_column_type(stmt, c) == SQLITE_TEXT) {
                    sink += sqlite3_column_bytes(stmt, c);
                } else {
                    sink += sqlite3_column_int64(stmt, c);
                }
            }
        }
        check(rc, db, "step");
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        r.seconds += seconds(Clock::now() - start);
    }
    for (sqlite3_stmt* stmt : prepared) {
        sqlite3_finalize(stmt);
    }
    sqlite3_close_v2(db);
    if (sink == 42) {
        std::puts("");
    }
    return r;
}

void writeConfig(const fs::path& dir, const fs::path& db) {
    std::ofstream(dir / "config.txt") << "\"**** Configuration File - DO NOT Modify by "
                                         "hand****\"\r\n\"Database Location\",\"sqlite:"
                                      << db.string() << "\"\r\n\"Caption\",\"bench\"\r\n";
}

struct ServerRun {
    double seconds = 0;
    long peakRssMb = 0;
    double cpuSeconds = 0;  // user and system: steadier than wall time on a shared machine
    std::string resultsLine;
};

// The real server process, one --once run on `db`, messages to a fresh pickup directory.
ServerRun runServer(const fs::path& server, const fs::path& dir, const fs::path& db) {
    writeConfig(dir, db);
    const fs::path outbox = gOutbox;
    fs::remove_all(outbox);
    fs::create_directories(outbox);
    const fs::path output = dir / "server.out";
    const auto start = Clock::now();
    std::cout.flush();
    std::fflush(nullptr);
    // Through GNU time: a child forked from this process would count this process's memory.
    const fs::path peak = dir / "server.peak";
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen(output.c_str(), "w", stdout);
        std::freopen((dir / "server.err").c_str(), "w", stderr);
        const std::string config = (dir / "config.txt").string();
        execl("/usr/bin/time", "/usr/bin/time", "-f", "%M %U %S", "-o", peak.c_str(),
              server.c_str(), "--config", config.c_str(), "--once", "--pickup-dir", outbox.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ServerRun run;
    run.seconds = seconds(Clock::now() - start);
    long peakKb = 0;
    double user = 0;
    double system = 0;
    std::ifstream(peak) >> peakKb >> user >> system;
    run.peakRssMb = peakKb / 1024;
    run.cpuSeconds = user + system;
    std::ifstream in(output);
    std::getline(in, run.resultsLine);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("the server's run failed: " + run.resultsLine);
    }
    return run;
}

struct Recorded {
    double floor = 0;
    long statements = 0;
    long notifiedRows = 0;
    int work = 0;  // e-mails + issues created + issues closed
    std::vector<std::pair<double, std::string>> slowest;
};

// An in-process run on `db` whose statements are replayed on `copy` as they are issued; each
// catalog step is one transaction on the copy, except the dispatch, which commits per message.
Recorded recordAndReplay(const fs::path& dir, const fs::path& db, const fs::path& copy) {
    fas::ServerState state;
    state.DatabaseLocation = "sqlite:" + db.string();
    state.db.setLocation(state.DatabaseLocation, dir);
    state.options.pickupDirectory = gOutbox;
    fs::remove_all(*state.options.pickupDirectory);
    fs::create_directories(*state.options.pickupDirectory);
    if (!state.db.OpenDatabase()) {
        throw std::runtime_error(state.db.lastOpenError());
    }
    fas::startup::LoadCompanySettings(state);
    state.db.CloseDatabase();

    const fs::path file = dir / "statements.bin";
    Recording recording(file);
    std::vector<std::pair<double, std::string>> stepTimes;
    fas::tasks::TaskList steps;
    for (const auto& step : fas::tasks::RuleCatalog()) {
        const bool dispatch = step.label.find("dispatch") != std::string::npos;
        steps.push_back({step.label, [&, step, dispatch](fas::ServerState& s) {
                             const auto start = Clock::now();
                             if (!dispatch) {
                                 recording.mark(Recording::kBegin);
                             }
                             step.run(s);
                             if (!dispatch) {
                                 recording.mark(Recording::kCommit);
                             }
                             stepTimes.emplace_back(seconds(Clock::now() - start), step.label);
                         }});
    }
    state.db.setStatementObserver([&](std::string_view sql, const fas::db::Params& params) {
        recording.statement(sql, params);
    });
    fas::tasks::RunTasks(state, steps);
    if (!state.report.errors.empty()) {
        throw std::runtime_error("run error: " + state.report.errors.front());
    }
    const Replayed floor = replay(copy, file, recording.texts());
    fs::remove(file);
    Recorded r;
    r.floor = floor.seconds;
    r.statements = floor.statements;
    r.notifiedRows = floor.notifiedRows;
    r.work =
        state.counters.emails() + state.counters.issuesCreated() + state.counters.issuesClosed();
    std::sort(stepTimes.rbegin(), stepTimes.rend());
    stepTimes.resize(std::min<std::size_t>(stepTimes.size(), 5));
    r.slowest = stepTimes;
    return r;
}

// The first and the steady run of one scale, each measured as the server and as its floor.
std::string measure(double factor, const fs::path& server, const fs::path& work) {
    fs::remove_all(work);
    fs::create_directories(work);
    const fs::path start = work / "start.db";
    const fas::tools::DemoScale scale = fas::tools::DemoScale::scaled(factor);
    const auto generateStart = Clock::now();
    fas::tools::GenerateDemoDatabase(start, scale);
    const double generated = seconds(Clock::now() - generateStart);
    const auto copy = [&](const fs::path& from, const char* name) {
        const fs::path to = work / name;
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
        return to;
    };

    const bool floors = factor <= gFloorMax;
    const Recorded firstFloor =
        floors ? recordAndReplay(work, copy(start, "a.db"), copy(start, "b.db")) : Recorded{};
    fs::remove(work / "a.db");
    fs::remove(work / "b.db");
    const fs::path live = copy(start, "live.db");
    const ServerRun first = runServer(server, work, live);
    // Issues raised late in the first run are seen by the issue-due rule in the next one.
    ServerRun settle = runServer(server, work, live);
    const fs::path settled = copy(live, "settled.db");
    const Recorded steadyFloor =
        floors ? recordAndReplay(work, copy(settled, "c.db"), copy(settled, "d.db")) : Recorded{};
    ServerRun steady = runServer(server, work, live);
    for (int i = 0; i < (factor <= 1 ? 2 : 0);
         ++i) {  // best of three: a loaded machine disturbs the ratio less
        const ServerRun again = runServer(server, work, copy(settled, "live.db"));
        if (again.seconds < steady.seconds) {
            steady = again;
        }
    }

    std::fprintf(stderr, "scale %g first run: %s\n  settling run: %s\n  steady run: %s\n", factor,
                 first.resultsLine.c_str(), settle.resultsLine.c_str(), steady.resultsLine.c_str());
    std::fprintf(stderr, "  first run: %ld statements, %ld notified rows (%.2f statements each)\n",
                 firstFloor.statements, firstFloor.notifiedRows,
                 firstFloor.notifiedRows
                     ? double(firstFloor.statements) / double(firstFloor.notifiedRows)
                     : 0.0);
    for (const auto& [time, label] : firstFloor.slowest) {
        std::fprintf(stderr, "  first run, %.3f s in %s\n", time, label.c_str());
    }
    fs::remove_all(work);

    std::ostringstream row;
    row << factor << '\t' << scale.contracts << '\t' << generated << '\t' << first.seconds << '\t'
        << firstFloor.floor << '\t' << (firstFloor.floor > 0 ? first.seconds / firstFloor.floor : 0)
        << '\t' << first.peakRssMb << '\t' << firstFloor.statements << '\t' << firstFloor.work
        << '\t' << steady.seconds << '\t' << steadyFloor.floor << '\t'
        << (steadyFloor.floor > 0 ? steady.seconds / steadyFloor.floor : 0) << '\t'
        << steady.peakRssMb << '\t' << steadyFloor.statements << '\t' << steadyFloor.work << '\t'
        << first.cpuSeconds << '\t' << steady.cpuSeconds;
    return row.str();
}

}  // namespace

int main(int argc, char** argv) {
    std::string scales = "0.02,0.2,1,4,10";
    fs::path work = fs::temp_directory_path() / "fas-cycle-bench";
    fs::path server;
    fs::path tsv;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--scales") {
            scales = argv[i + 1];
        } else if (arg == "--work") {
            work = argv[i + 1];
        } else if (arg == "--server") {
            server = fs::absolute(argv[i + 1]);
        } else if (arg == "--floor-max") {
            gFloorMax = std::stod(argv[i + 1]);
        } else if (arg == "--outbox") {
            gOutbox = argv[i + 1];
        } else if (arg == "--tsv") {
            tsv = argv[i + 1];
        }
    }
    if (server.empty()) {
        std::cerr
            << "usage: fas-bench-cycle --server PATH [--scales LIST] [--work DIR] [--tsv FILE]\n";
        return 2;
    }
    const std::string header =
        "scale\tcontracts\tgenerate_s\tfirst_s\tfirst_floor_s\tfirst_ratio\tfirst_rss_mb\tfirst_"
        "statements\tfirst_work\tsteady_s\tsteady_floor_s\tsteady_ratio\tsteady_rss_mb\tsteady_"
        "statements\tsteady_work\tfirst_cpu_s\tsteady_cpu_s";
    std::ofstream out;
    if (!tsv.empty()) {
        out.open(tsv);
        out << header << "\n";
    }
    std::cout << header << "\n";
    try {
        std::stringstream list(scales);
        for (std::string item; std::getline(list, item, ',');) {
            const std::string row = measure(std::stod(item), server, work);
            std::cout << row << std::endl;
            if (out) {
                out << row << std::endl;
            }
        }
    } catch (const std::exception& e) {
        std::cerr << "fas-bench-cycle: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
