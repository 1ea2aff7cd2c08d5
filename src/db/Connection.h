#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/Value.h"

namespace fas::db {

using Params = std::vector<Value>;

// All rows of a query, fetched when it was opened.
struct ResultSet {
    std::vector<std::string> columns;
    std::vector<std::vector<Value>> rows;
};

// One open connection of a backend. Statements use '?' placeholders for every value.
// Errors are thrown as DatabaseError carrying the statement.
class Connection {
public:
    virtual ~Connection() = default;
    virtual void execute(std::string_view sql, const Params& params) = 0;
    virtual ResultSet query(std::string_view sql, const Params& params) = 0;
    virtual void beginTransaction() = 0;
    virtual void commitTransaction() = 0;
    virtual void rollbackTransaction() = 0;
};

// The embedded engine. Never creates the file: a missing database is an open failure.
std::unique_ptr<Connection> openSqliteConnection(const std::filesystem::path& file);

// SQL Server (or any ODBC data source) through the ODBC driver manager.
std::unique_ptr<Connection> openOdbcConnection(const std::string& connectionString,
                                               int loginTimeoutSeconds);

// A connection string written for the old OLE DB provider, converted to ODBC keywords; any other
// string comes back unchanged. The driver defaults to "ODBC Driver 18 for SQL Server" and is
// overridden by the environment variable AUTOMATION_SERVER_ODBC_DRIVER.
std::string toOdbcConnectionString(std::string_view connectionString);

// The connection string with every password value replaced by "***", for messages.
std::string redactConnectionString(std::string_view connectionString);

}  // namespace fas::db
