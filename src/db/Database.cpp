#include "db/Database.h"

#include <exception>
#include <thread>

#include "db/Errors.h"
#include "db/Text.h"
#include "platform/Files.h"

namespace fas::db {

std::optional<std::filesystem::path> sqlitePathOf(std::string_view location,
                                                  const std::filesystem::path& baseDirectory) {
    constexpr std::string_view kPrefix = "sqlite:";
    if (location.substr(0, kPrefix.size()) != kPrefix) {
        return std::nullopt;
    }
    auto path = platform::PathFromText(std::string(location.substr(kPrefix.size())));
    if (path.is_relative()) {
        path = baseDirectory / path;
    }
    return path.lexically_normal();
}

Database::Database(std::string location, std::filesystem::path baseDirectory)
    : location_(std::move(location)), baseDirectory_(std::move(baseDirectory)) {}

Database::~Database() {
    CloseDatabase();
}

void Database::setLocation(std::string location, std::filesystem::path baseDirectory) {
    location_ = std::move(location);
    baseDirectory_ = std::move(baseDirectory);
}

bool Database::OpenDatabase() noexcept {
    if (connection_) {
        lastOpenError_ = "The database connection is already open";
        return false;
    }
    lastOpenMayPass_ = false;
    try {
        const int timeout = queryTimeoutSeconds();
        if (auto path = sqlitePathOf(location_, baseDirectory_)) {
            connection_ = openSqliteConnection(*path, timeout);
            engine_ = Engine::Sqlite;
        } else {
            connection_ =
                openOdbcConnection(location_, kLoginTimeoutSeconds, timeout, odbcTranslation_);
            engine_ = Engine::Odbc;
        }
        if (whileWorking_) {
            connection_->whileWorking(whileWorking_);
        }
        lastOpenError_.clear();
        return true;
    } catch (const DatabaseError& e) {
        lastOpenError_ = redactConnectionString(e.what());
        lastOpenMayPass_ = e.mayPassByItself();
    } catch (const std::exception& e) {
        lastOpenError_ = redactConnectionString(e.what());
    } catch (...) {
        lastOpenError_ = "Unknown error while opening the database";
    }
    connection_.reset();
    engine_ = Engine::None;
    return false;
}

void Database::whileWorking(std::function<void()> hook) {
    whileWorking_ = std::move(hook);
    if (connection_) {
        connection_->whileWorking(whileWorking_);
    }
}

void Database::CloseDatabase() noexcept {
    connectionGone();
}

// Whatever was open on the connection ends with it.
void Database::connectionGone() noexcept {
    try {
        connection_.reset();
    } catch (...) {
        // Closing never fails the caller.
    }
    engine_ = Engine::None;
    units_ = 0;
    inTransaction_ = false;
}

void Database::pauseAfterDeadlock() {
    const std::chrono::milliseconds wait(std::uniform_int_distribution<int>(50, 300)(random_));
    if (pause_) {
        pause_(wait);
    } else {
        std::this_thread::sleep_for(wait);
    }
}

void Database::failStatementAsDeadlockVictim(std::uint64_t ordinal, int times) {
    deadlockAt_ = statementsIssued_ + ordinal;
    deadlocksLeft_ = times;
}

void Database::failStatementAsLostConnection(std::optional<std::uint64_t> ordinal) {
    failAt_ = ordinal ? std::optional<std::uint64_t>(statementsIssued_ + *ordinal) : std::nullopt;
}

void Database::beforeStatement(std::string_view sql, const Params& params) {
    ++statementsIssued_;
    if (failAt_ && statementsIssued_ == *failAt_) {
        failAt_.reset();
        connectionGone();
        throw DatabaseError(
            "Communication link failure (simulated) before statement: " + statementForMessage(sql),
            true);
    }
    if (deadlocksLeft_ > 0 &&
        (deadlockAt_ ? statementsIssued_ == *deadlockAt_ : sql == deadlockSql_)) {
        deadlockAt_.reset();
        deadlockSql_ = sql;
        --deadlocksLeft_;
        if (!standsAlone()) {
            // The victim's whole transaction is undone, savepoints included.
            connection_->rollbackTransaction();
        }
        throw DatabaseError(
            deadlockMessage(sql,
                            "40001 (simulated) Transaction (Process ID 57) was deadlocked on "
                            "lock resources with another process and has been chosen as the "
                            "deadlock victim. Rerun the transaction. in statement: " +
                                statementForMessage(sql)),
            false, true, true);
    }
    if (observer_) {
        observer_(sql, params);
    }
}

Connection& Database::connection(std::string_view sql) {
    if (!connection_) {
        throw DatabaseError(
            "The database connection is not open (statement: " + statementForMessage(sql) + ")",
            true);
    }
    return *connection_;
}

// A deadlock victim that stands alone was undone whole and is simply issued again. A statement
// inside a unit or transaction leaves that to whoever owns the transaction: the database undid
// the statements before it too.
template <typename Run>
auto Database::alone(std::string_view sql, const Params& params, Run&& run) {
    for (int tries = 1;; ++tries) {
        try {
            Connection& c = connection(sql);
            beforeStatement(sql, params);
            return run(c);
        } catch (const DatabaseError& e) {
            if (!e.deadlockVictim() || !standsAlone()) {
                throw;
            }
            if (tries == kDeadlockTries) {
                throw DatabaseError(e, deadlockGivenUpMessage(e, tries));
            }
        }
        pauseAfterDeadlock();
    }
}

void Database::execute(std::string_view sql, const Params& params) {
    alone(sql, params, [&](Connection& c) { c.execute(sql, params); });
}

Recordset Database::query(std::string_view sql, const Params& params) {
    return alone(sql, params,
                 [&](Connection& c) { return Recordset(std::string(sql), c.query(sql, params)); });
}

Recordset Database::query(std::string_view sql, const Params& params,
                          const std::vector<std::string_view>& keep) {
    return alone(sql, params, [&](Connection& c) { return keptColumns(c, sql, params, keep); });
}

Recordset Database::keptColumns(Connection& c, std::string_view sql, const Params& params,
                                const std::vector<std::string_view>& keep) {
    const std::unique_ptr<RowSource> rows = c.open(sql, params);
    std::vector<std::size_t> kept;
    ResultSet result;
    for (std::size_t i = 0; i < rows->columns().size(); ++i) {
        const std::string& name = rows->columns()[i];
        for (const std::string_view wanted : keep) {
            if (equalsIgnoringCase(name, wanted)) {
                kept.push_back(i);
                result.columns.push_back(name);
                break;
            }
        }
    }
    ResultSet row;
    row.columns = rows->columns();
    while (rows->next(row)) {
        result.addRow();
        for (const std::size_t i : kept) {
            result.addValue(row.cell(0, i));
        }
    }
    return Recordset(std::string(sql), std::move(result));
}

Recordset Database::forward(std::string_view sql, const Params& params) {
    return alone(sql, params,
                 [&](Connection& c) { return Recordset(std::string(sql), c.open(sql, params)); });
}

void Database::beginUnit() {
    connection("SAVEPOINT").beginUnit();
    ++units_;
}
void Database::commitUnit() {
    connection("RELEASE SAVEPOINT").commitUnit();
    --units_;
}
void Database::rollbackUnit() noexcept {
    units_ = units_ > 0 ? units_ - 1 : 0;
    try {
        if (connection_) {
            connection_->rollbackUnit();
        }
    } catch (...) {
        // The connection is gone or the unit already ended; either way nothing of it stays.
    }
}

void Database::beginTransaction() {
    connection("BEGIN TRANSACTION").beginTransaction();
    inTransaction_ = true;
}
void Database::commitTransaction() {
    connection("COMMIT").commitTransaction();
    inTransaction_ = false;
}
void Database::rollbackTransaction() {
    inTransaction_ = false;
    connection("ROLLBACK").rollbackTransaction();
}

}  // namespace fas::db
