#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/Value.h"

namespace fas::db {

using Params = std::vector<Value>;

// All rows of a query, fetched when it was opened. Cells are kept compact (texts in one buffer)
// because a rule query can return tens of thousands of wide rows.
class ResultSet {
  public:
    std::vector<std::string> columns;

    // Backends fill a result row by row, column by column.
    void addRow() { ++rows_; }
    void addNull() { cells_.push_back(Cell{Value::Kind::Null, 0, {0}}); }
    void addInteger(std::int64_t v) { cells_.push_back(Cell{Value::Kind::Integer, 0, {v}}); }
    void addReal(double v);
    void addText(std::string_view v);
    void addDateTime(const DateTime& v);
    void addValue(const Value& v);

    std::size_t rowCount() const { return rows_; }
    Value cell(std::size_t row, std::size_t column) const;
    // Drops every row and keeps the columns: a forward walk reuses one row's storage.
    void clearRows() {
        cells_.clear();
        text_.clear();
        rows_ = 0;
    }

  private:
    struct Cell {
        Value::Kind kind;
        std::uint32_t length;
        union {
            std::int64_t integer;
            double real;
            std::uint64_t offset;
        };
    };
    std::vector<Cell> cells_;
    std::string text_;
    std::size_t rows_ = 0;
};

// The rows of a query handed over one at a time, as the engine produces them.
class RowSource {
  public:
    virtual ~RowSource() = default;
    virtual const std::vector<std::string>& columns() const = 0;
    // Replaces the contents of `row` with the next row; false after the last.
    virtual bool next(ResultSet& row) = 0;
};

// One open connection of a backend. Statements use '?' placeholders for every value.
// Errors are thrown as DatabaseError carrying the statement.
class Connection {
  public:
    virtual ~Connection() = default;
    virtual void execute(std::string_view sql, const Params& params) = 0;
    virtual ResultSet query(std::string_view sql, const Params& params) = 0;
    // The rows of a query as they come. A backend that cannot interleave other statements with
    // an open result fetches it completely first (this default).
    virtual std::unique_ptr<RowSource> open(std::string_view sql, const Params& params);
    virtual void beginTransaction() = 0;
    virtual void commitTransaction() = 0;
    virtual void rollbackTransaction() = 0;

    // A unit of statements that take effect together or not at all, also inside a transaction
    // (a savepoint there).
    virtual void beginUnit() = 0;
    virtual void commitUnit() = 0;
    virtual void rollbackUnit() = 0;

    // Called now and then while a single statement works (a large sort, update or fetch), so
    // that the service manager keeps hearing from the server; it never interrupts the statement.
    // A backend whose driver holds the call until it ends ignores it (this default).
    virtual void whileWorking(std::function<void()> /*hook*/) {}
};

// The embedded engine. Never creates the file: a missing database is an open failure. A statement
// waits at most queryTimeoutSeconds for another connection's lock.
std::unique_ptr<Connection> openSqliteConnection(const std::filesystem::path& file,
                                                 int queryTimeoutSeconds = 180);

// Rewrites a statement just before the driver sees it. Production leaves it empty: SQL Server runs
// the T-SQL as written. The tests set it to run the catalog on a driver that speaks another
// dialect.
using StatementTranslation = std::function<std::string(std::string_view)>;

// SQL Server (or any ODBC data source) through the ODBC driver manager. The driver cancels a
// statement after queryTimeoutSeconds (SQL_ATTR_QUERY_TIMEOUT).
std::unique_ptr<Connection> openOdbcConnection(const std::string& connectionString,
                                               int loginTimeoutSeconds,
                                               int queryTimeoutSeconds = 180,
                                               StatementTranslation translation = {});

// The statements the ODBC backend itself sends for a unit inside a transaction.
inline constexpr const char* kOdbcSaveUnitSql = "SAVE TRANSACTION fas_unit";
inline constexpr const char* kOdbcRollbackUnitSql = "ROLLBACK TRANSACTION fas_unit";

// A connection string written for the old OLE DB provider, converted to ODBC keywords; any other
// string comes back unchanged. The driver defaults to "ODBC Driver 18 for SQL Server" and is
// overridden by the environment variable AUTOMATION_SERVER_ODBC_DRIVER.
std::string toOdbcConnectionString(std::string_view connectionString);

// The connection string with every password value replaced by "***", for messages.
std::string redactConnectionString(std::string_view connectionString);

}  // namespace fas::db
