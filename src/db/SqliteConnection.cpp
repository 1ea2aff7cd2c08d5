// The embedded engine: T-SQL statements translated once per distinct text and kept prepared.
#include <sqlite3.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "db/Connection.h"
#include "db/Errors.h"
#include "db/TsqlDialect.h"
#include "platform/Files.h"

namespace fas::db {
namespace {

// Statements built with ID lists are one-off texts; the cache is dropped when it grows past this.
constexpr std::size_t kMaxCachedStatements = 512;

bool meansLostConnection(int code) {
    switch (code & 0xff) {
        case SQLITE_IOERR:
        case SQLITE_CANTOPEN:
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            return true;
        default:
            return false;
    }
}

void addColumn(ResultSet& result, sqlite3_stmt* stmt, int i) {
    switch (sqlite3_column_type(stmt, i)) {
        case SQLITE_INTEGER:
            result.addInteger(sqlite3_column_int64(stmt, i));
            break;
        case SQLITE_FLOAT:
            result.addReal(sqlite3_column_double(stmt, i));
            break;
        case SQLITE_NULL:
            result.addNull();
            break;
        default: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
            const int size = sqlite3_column_bytes(stmt, i);
            result.addText(std::string_view(text ? text : "", static_cast<std::size_t>(size)));
            break;
        }
    }
}

std::vector<std::string> columnNames(sqlite3_stmt* stmt) {
    std::vector<std::string> names;
    const int columns = sqlite3_column_count(stmt);
    names.reserve(static_cast<std::size_t>(columns));
    for (int i = 0; i < columns; ++i) {
        const char* name = sqlite3_column_name(stmt, i);
        names.emplace_back(name ? name : "");
    }
    return names;
}

// A lock another connection held past the busy wait is a timeout of the statement.
[[noreturn]] void fail(sqlite3* db, int rc, std::string_view sql, int timeoutSeconds) {
    const std::string timedOut =
        (rc & 0xff) == SQLITE_BUSY ? timeoutMessage(sql, timeoutSeconds) + ": " : "";
    throw DatabaseError(
        timedOut + sqlite3_errmsg(db) + " (statement: " + statementForMessage(sql) + ")",
        meansLostConnection(rc), !timedOut.empty());
}

// A query stepped row by row. It owns its statement, so a walk may run the same text again
// and may outlive its connection (SQLite closes a connection once its last statement is gone).
class SteppedRows final : public RowSource {
  public:
    SteppedRows(sqlite3_stmt* stmt, std::string sql, int timeoutSeconds)
        : stmt_(stmt),
          sql_(std::move(sql)),
          columns_(columnNames(stmt)),
          timeoutSeconds_(timeoutSeconds) {}
    ~SteppedRows() override { sqlite3_finalize(stmt_); }
    SteppedRows(const SteppedRows&) = delete;
    SteppedRows& operator=(const SteppedRows&) = delete;

    const std::vector<std::string>& columns() const override { return columns_; }
    bool next(ResultSet& row) override {
        if (done_) {
            return false;
        }
        const int rc = sqlite3_step(stmt_);
        if (rc != SQLITE_ROW) {
            done_ = true;
            // Ended now, so the walk holds no read snapshot while the rest of the step writes.
            sqlite3_reset(stmt_);
            if (rc != SQLITE_DONE) {
                fail(sqlite3_db_handle(stmt_), rc, sql_, timeoutSeconds_);
            }
            return false;
        }
        row.clearRows();
        row.addRow();
        for (int i = 0; i < static_cast<int>(columns_.size()); ++i) {
            addColumn(row, stmt_, i);
        }
        return true;
    }

  private:
    sqlite3_stmt* stmt_;
    std::string sql_;
    std::vector<std::string> columns_;
    int timeoutSeconds_;
    bool done_ = false;
};

// WAL pages copied back into the database file at a time: few large checkpoints cost less in
// all than many small ones.
constexpr int kUnwatchedCheckpointPages = 10000;

class SqliteConnection final : public Connection {
  public:
    SqliteConnection(const std::filesystem::path& file, int queryTimeoutSeconds)
        : timeoutSeconds_(queryTimeoutSeconds) {
        // No SQLITE_OPEN_CREATE: a missing database is an open failure, like an unreachable
        // server. Only the schema function and the demo generator create databases.
        const int rc = sqlite3_open_v2(platform::PathText(file).c_str(), &db_,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK) {
            std::string reason = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
            sqlite3_close_v2(db_);
            db_ = nullptr;
            throw DatabaseError("Cannot open the database file " + file.string() + ": " + reason,
                                true);
        }
        sqlite3_extended_result_codes(db_, 1);
        // The query timeout is the longest a statement waits for another connection's lock.
        sqlite3_busy_timeout(db_, queryTimeoutSeconds * 1000);
        try {
            // Reading the schema proves the file is a database.
            exec("SELECT count(*) FROM sqlite_master");
            // The file is the other software's: the server works in the journal mode the file
            // has and changes no setting stored in it. The settings below last for this
            // connection only.
            if (journalMode() == "wal") {
                // Durable enough in WAL (a power cut loses at most the last commit, never
                // consistency), not in a rollback journal, where the default stays.
                exec("PRAGMA synchronous=NORMAL");
                sqlite3_wal_autocheckpoint(db_, kUnwatchedCheckpointPages);
            }
            exec("PRAGMA cache_size=-65536");
            exec("PRAGMA foreign_keys=OFF");
            registerTsqlFunctions(db_);
        } catch (const DatabaseError& e) {
            close();
            throw DatabaseError("Cannot open the database file " + file.string() + ": " + e.what(),
                                true, e.mayPassByItself());
        }
    }

    ~SqliteConnection() override { close(); }

    void execute(std::string_view sql, const Params& params) override {
        sqlite3_stmt* stmt = prepared(sql);
        Reset reset{stmt};
        bind(stmt, sql, params);
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE) {
            fail(rc, sql);
        }
    }

    ResultSet query(std::string_view sql, const Params& params) override {
        sqlite3_stmt* stmt = prepared(sql);
        Reset reset{stmt};
        bind(stmt, sql, params);
        ResultSet result;
        result.columns = columnNames(stmt);
        const int columns = static_cast<int>(result.columns.size());
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            result.addRow();
            for (int i = 0; i < columns; ++i) {
                addColumn(result, stmt, i);
            }
        }
        if (rc != SQLITE_DONE) {
            fail(rc, sql);
        }
        return result;
    }

    std::unique_ptr<RowSource> open(std::string_view sql, const Params& params) override {
        const std::string translated = translateTsql(sql);
        sqlite3_stmt* stmt = nullptr;
        const int rc = sqlite3_prepare_v2(db_, translated.c_str(),
                                          static_cast<int>(translated.size()), &stmt, nullptr);
        if (rc != SQLITE_OK || stmt == nullptr) {
            sqlite3_finalize(stmt);
            if (rc == SQLITE_OK) {
                throw DatabaseError("Empty statement: " + statementForMessage(sql));
            }
            fail(rc, sql);
        }
        auto rows = std::make_unique<SteppedRows>(stmt, std::string(sql), timeoutSeconds_);
        bind(stmt, sql, params);
        return rows;
    }

    void beginTransaction() override { exec("BEGIN IMMEDIATE"); }
    void commitTransaction() override { exec("COMMIT"); }
    void rollbackTransaction() override {
        if (!sqlite3_get_autocommit(db_)) {
            exec("ROLLBACK");
        }
    }

    // Outside a transaction a unit is one that takes the write lock at once, so a walk inside
    // it reads what it will write over and no other program commits in between. Inside a
    // transaction (a dry run's, or a step's unit) it is a savepoint.
    void beginUnit() override {
        if (sqlite3_get_autocommit(db_)) {
            exec("BEGIN IMMEDIATE");
            unitsOwningTransaction_.push_back(true);
        } else {
            exec("SAVEPOINT fas_unit");
            unitsOwningTransaction_.push_back(false);
        }
    }
    // A unit whose commit failed stays open, to be rolled back.
    void commitUnit() override {
        if (unitsOwningTransaction_.empty()) {
            throw DatabaseError("No unit of work is open");
        }
        exec(unitsOwningTransaction_.back() ? "COMMIT" : "RELEASE fas_unit");
        unitsOwningTransaction_.pop_back();
    }
    void rollbackUnit() override {
        const bool owns = popUnit();
        if (owns) {
            if (!sqlite3_get_autocommit(db_)) {
                exec("ROLLBACK");
            }
        } else {
            exec("ROLLBACK TO fas_unit; RELEASE fas_unit");
        }
    }

  private:
    // Resets a statement and drops its bindings when a call leaves, so the cached statement is
    // ready for its next use and holds no read lock.
    struct Reset {
        sqlite3_stmt* stmt;
        ~Reset() {
            sqlite3_reset(stmt);
            sqlite3_clear_bindings(stmt);
        }
    };

    void finalizeCache() {
        for (auto& [text, stmt] : cache_) {
            sqlite3_finalize(stmt);
        }
        cache_.clear();
    }

    void close() {
        finalizeCache();
        if (db_) {
            sqlite3_close_v2(db_);
            db_ = nullptr;
        }
    }

    void whileWorking(std::function<void()> hook) override {
        whileWorking_ = std::move(hook);
        // A WAL checkpoint is one piece of I/O the engine reports nothing from: while someone
        // waits for signs of life, they come in SQLite's own default size, not in the large ones
        // that suit an unwatched run.
        sqlite3_wal_autocheckpoint(db_, whileWorking_ ? 1000 : kUnwatchedCheckpointPages);
        if (!whileWorking_) {
            sqlite3_progress_handler(db_, 0, nullptr, nullptr);
            return;
        }
        // Some thousand virtual machine steps: well under a millisecond between calls.
        constexpr int kSteps = 10000;
        sqlite3_progress_handler(
            db_, kSteps,
            [](void* self) {
                static_cast<SqliteConnection*>(self)->whileWorking_();
                return 0;  // go on
            },
            this);
    }

    std::string journalMode() {
        sqlite3_stmt* stmt = nullptr;
        std::string mode;
        if (sqlite3_prepare_v2(db_, "PRAGMA journal_mode", -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW) {
            const auto* text = sqlite3_column_text(stmt, 0);
            mode = text ? reinterpret_cast<const char*>(text) : "";
        }
        sqlite3_finalize(stmt);
        return mode;
    }

    void exec(const char* sql) {
        char* message = nullptr;
        const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
        if (rc != SQLITE_OK) {
            std::string text = message ? message : sqlite3_errstr(rc);
            sqlite3_free(message);
            const std::string timedOut =
                (rc & 0xff) == SQLITE_BUSY ? timeoutMessage(sql, timeoutSeconds_) + ": " : "";
            throw DatabaseError(timedOut + text + " (statement: " + sql + ")",
                                meansLostConnection(rc), !timedOut.empty());
        }
    }

    sqlite3_stmt* prepared(std::string_view sql) {
        auto found = cache_.find(std::string(sql));
        if (found != cache_.end()) {
            return found->second;
        }
        const std::string translated = translateTsql(sql);
        sqlite3_stmt* stmt = nullptr;
        const int rc =
            sqlite3_prepare_v3(db_, translated.c_str(), static_cast<int>(translated.size()),
                               SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_finalize(stmt);
            fail(rc, sql);
        }
        if (stmt == nullptr) {
            throw DatabaseError("Empty statement: " + statementForMessage(sql));
        }
        if (cache_.size() >= kMaxCachedStatements) {
            finalizeCache();
        }
        cache_.emplace(std::string(sql), stmt);
        return stmt;
    }

    void bind(sqlite3_stmt* stmt, std::string_view sql, const Params& params) {
        const int expected = sqlite3_bind_parameter_count(stmt);
        if (expected != static_cast<int>(params.size())) {
            throw DatabaseError("The statement takes " + std::to_string(expected) + " values but " +
                                std::to_string(params.size()) +
                                " were given (statement: " + statementForMessage(sql) + ")");
        }
        for (int i = 0; i < expected; ++i) {
            const Value& v = params[static_cast<std::size_t>(i)];
            int rc = SQLITE_OK;
            switch (v.kind()) {
                case Value::Kind::Null:
                    rc = sqlite3_bind_null(stmt, i + 1);
                    break;
                case Value::Kind::Integer:
                    rc = sqlite3_bind_int64(stmt, i + 1, *v.integer());
                    break;
                case Value::Kind::Real:
                    rc = sqlite3_bind_double(stmt, i + 1, *v.real());
                    break;
                case Value::Kind::Text:
                    rc = sqlite3_bind_text64(stmt, i + 1, v.text()->data(), v.text()->size(),
                                             SQLITE_TRANSIENT, SQLITE_UTF8);
                    break;
                case Value::Kind::DateTime: {
                    // As SQL Server refuses it: stored, it would compare as no date does.
                    if (!v.dateTime()->isValid()) {
                        throw DatabaseError("Invalid date " + v.debugString() + " for value " +
                                            std::to_string(i + 1) +
                                            " (statement: " + statementForMessage(sql) + ")");
                    }
                    const std::string iso = v.dateTime()->toIso();
                    rc = sqlite3_bind_text64(stmt, i + 1, iso.data(), iso.size(), SQLITE_TRANSIENT,
                                             SQLITE_UTF8);
                    break;
                }
            }
            if (rc != SQLITE_OK) {
                fail(rc, sql);
            }
        }
    }

    [[noreturn]] void fail(int rc, std::string_view sql) {
        db::fail(db_, rc, sql, timeoutSeconds_);
    }

    bool popUnit() {
        if (unitsOwningTransaction_.empty()) {
            throw DatabaseError("No unit of work is open");
        }
        const bool owns = unitsOwningTransaction_.back();
        unitsOwningTransaction_.pop_back();
        return owns;
    }

    int timeoutSeconds_;
    sqlite3* db_ = nullptr;
    std::function<void()> whileWorking_;
    std::vector<bool> unitsOwningTransaction_;
    std::unordered_map<std::string, sqlite3_stmt*> cache_;
};

}  // namespace

std::unique_ptr<Connection> openSqliteConnection(const std::filesystem::path& file,
                                                 int queryTimeoutSeconds) {
    return std::make_unique<SqliteConnection>(file, queryTimeoutSeconds);
}

}  // namespace fas::db
