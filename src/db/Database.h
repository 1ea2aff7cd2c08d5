#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "db/Connection.h"
#include "db/Recordset.h"

namespace fas::db {

enum class Engine { None, Sqlite, Odbc };

// The shared connection: open only during start-up and during each task run.
//
// The location is "sqlite:PATH" for the embedded engine (a relative PATH resolves against the
// directory of config.txt) or an ODBC connection string (old OLE DB strings are converted).
class Database {
  public:
    static constexpr int kLoginTimeoutSeconds = 10;

    Database() = default;
    Database(std::string location, std::filesystem::path baseDirectory);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void setLocation(std::string location, std::filesystem::path baseDirectory);
    const std::string& location() const { return location_; }

    // Opens the shared connection. Never throws: any failure, an already open connection
    // included, gives false; lastOpenError() then says why (without any password).
    bool OpenDatabase() noexcept;
    // Closes the shared connection, ignoring every error (closing a closed one included).
    void CloseDatabase() noexcept;
    bool isOpen() const noexcept { return connection_ != nullptr; }
    const std::string& lastOpenError() const noexcept { return lastOpenError_; }
    // Whether the last open failure may pass without anyone changing anything (see
    // DatabaseError::mayPassByItself).
    bool lastOpenMayPass() const noexcept { return lastOpenMayPass_; }
    Engine engine() const noexcept { return engine_; }

    // Executes a statement; '?' stands for each value in params.
    void execute(std::string_view sql, const Params& params = {});
    // Opens a static recordset.
    Recordset query(std::string_view sql, const Params& params = {});
    // Opens a static recordset holding only the named columns of each row (names the query does
    // not have are left out), for a walk that writes what it reads but needs few of its columns.
    Recordset query(std::string_view sql, const Params& params,
                    const std::vector<std::string_view>& keep);
    // Opens a forward recordset: rows are read as the walk reaches them. Only for walks whose
    // statements never change the rows the query reads or adds rows it could return.
    Recordset forward(std::string_view sql, const Params& params = {});

    void beginTransaction();
    void commitTransaction();
    void rollbackTransaction();

    // Statements between beginUnit and commitUnit take effect together or not at all: a lost
    // connection in between leaves none of them. rollbackUnit never throws (the connection may
    // be gone). See UnitOfWork.
    void beginUnit();
    void commitUnit();
    void rollbackUnit() noexcept;

    // Whether a unit or statement begun now is a transaction of its own: no unit and no
    // transaction is open around it. Only such a one is what the database undoes when it chooses
    // it as a deadlock victim, so only such a one can simply be done again. A statement that
    // stands alone is: up to kDeadlockTries times in all, with pauseAfterDeadlock() in between.
    bool standsAlone() const noexcept { return units_ == 0 && !inTransaction_; }

    // Waits before a deadlock victim runs again: a random pause of a few tens to a few hundred
    // milliseconds, so that the other party of the deadlock gets through first and two victims
    // of one deadlock do not meet again. Tests give a pause that does not sleep.
    using Pause = std::function<void(std::chrono::milliseconds)>;
    void setDeadlockPause(Pause pause) { pause_ = std::move(pause); }
    void pauseAfterDeadlock();

    // Called now and then inside long statements, on the backends that can (see
    // Connection::whileWorking); kept for every connection opened later.
    void whileWorking(std::function<void()> hook);

    // Test hook: every ODBC connection opened from now on rewrites its statements so (see
    // StatementTranslation); empty, as in production, sends them as written.
    void translateOdbcStatements(StatementTranslation translation) {
        odbcTranslation_ = std::move(translation);
    }

    // Sees every statement before it runs (per-step reports, statement recording).
    using StatementObserver = std::function<void(std::string_view sql, const Params& params)>;
    void setStatementObserver(StatementObserver observer) { observer_ = std::move(observer); }

    // Test hook: the statement numbered `ordinal` (counting from 1, from now on) fails the way a
    // lost connection does. std::nullopt switches it off.
    void failStatementAsLostConnection(std::optional<std::uint64_t> ordinal);
    std::uint64_t statementsIssued() const noexcept { return statementsIssued_; }
    // Test hook: the statement numbered `ordinal` (counting from 1, from now on) fails as SQL
    // Server's deadlock victim does, its transaction undone, and so does the same statement text
    // the next `times - 1` times it is issued.
    void failStatementAsDeadlockVictim(std::uint64_t ordinal, int times = 1);

  private:
    Connection& connection(std::string_view sql);
    void beforeStatement(std::string_view sql, const Params& params);
    template <typename Run>
    auto alone(std::string_view sql, const Params& params, Run&& run);
    void connectionGone() noexcept;
    Recordset keptColumns(Connection& c, std::string_view sql, const Params& params,
                          const std::vector<std::string_view>& keep);

    std::string location_;
    std::filesystem::path baseDirectory_;
    std::unique_ptr<Connection> connection_;
    Engine engine_ = Engine::None;
    std::string lastOpenError_;
    bool lastOpenMayPass_ = false;
    StatementObserver observer_;
    std::function<void()> whileWorking_;
    StatementTranslation odbcTranslation_;
    std::optional<std::uint64_t> failAt_;
    std::uint64_t statementsIssued_ = 0;
    std::optional<std::uint64_t> deadlockAt_;
    std::string deadlockSql_;
    int deadlocksLeft_ = 0;
    int units_ = 0;  // open units, the outermost first
    bool inTransaction_ = false;
    Pause pause_;
    std::minstd_rand random_{std::random_device{}()};
};

// Holds a unit of statements open for its scope; without commit() it is rolled back.
class UnitOfWork {
  public:
    explicit UnitOfWork(Database& db) : db_(db) { db_.beginUnit(); }
    ~UnitOfWork() {
        if (!committed_) {
            db_.rollbackUnit();
        }
    }
    UnitOfWork(const UnitOfWork&) = delete;
    UnitOfWork& operator=(const UnitOfWork&) = delete;
    void commit() {
        db_.commitUnit();
        committed_ = true;
    }

  private:
    Database& db_;
    bool committed_ = false;
};

// Resolves "sqlite:PATH" against the base directory; empty for any other location.
std::optional<std::filesystem::path> sqlitePathOf(std::string_view location,
                                                  const std::filesystem::path& baseDirectory);

}  // namespace fas::db
