// SQL Server (or any ODBC data source) through the ODBC driver manager. Texts cross as UTF-16 and
// are held as UTF-8; every query is fetched completely when it runs, so recordsets are static
// and no two statements are ever open on the connection at once.
#include "platform/OdbcApi.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "db/ConnectFailure.h"
#include "db/Connection.h"
#include "db/Errors.h"
#include "db/OdbcConnectionString.h"
#include "db/OdbcHandle.h"
#include "db/OdbcUtf16.h"
#include "db/OdbcValues.h"
#include "db/StatementFailure.h"

namespace fas::db {
namespace {

// SQL Server's own column types, as its drivers report them.
constexpr SQLSMALLINT kSsTime2 = -154;
constexpr SQLSMALLINT kSsTimestampOffset = -155;

// Texts up to this many characters are bound as nvarchar(4000), so SQL Server keeps one plan per
// statement whatever the lengths; longer texts as nvarchar(max).
constexpr std::size_t kShortTextChars = 4000;
// SQL Server's datetime: 23 characters with milliseconds.
constexpr SQLULEN kTimestampColumnSize = 23;
constexpr SQLSMALLINT kTimestampDigits = 3;
// Long texts are read in pieces of this many characters.
constexpr std::size_t kChunkChars = 4096;
constexpr std::size_t kMaxDiagnostics = 10;

using Diagnostic = OdbcDiagnostic;

std::string trimmedEnd(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

std::vector<Diagnostic> diagnosticsOf(SQLSMALLINT type, SQLHANDLE handle) {
    std::vector<Diagnostic> found;
    if (handle == SQL_NULL_HANDLE) {
        return found;
    }
    for (SQLSMALLINT record = 1; found.size() < kMaxDiagnostics; ++record) {
        SQLWCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
        SQLINTEGER native = 0;
        std::vector<SQLWCHAR> text(SQL_MAX_MESSAGE_LENGTH);
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRecW(type, handle, record, state, &native, text.data(),
                                      static_cast<SQLSMALLINT>(text.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && static_cast<std::size_t>(length) >= text.size()) {
            text.resize(static_cast<std::size_t>(length) + 1);
            rc = SQLGetDiagRecW(type, handle, record, state, &native, text.data(),
                                static_cast<SQLSMALLINT>(text.size()), &length);
        }
        if (!SQL_SUCCEEDED(rc)) {
            break;
        }
        const std::size_t chars =
            std::min(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)), text.size() - 1);
        Diagnostic d{fromOdbcWide(state, SQL_SQLSTATE_SIZE),
                     trimmedEnd(fromOdbcWide(text.data(), chars)), static_cast<int>(native)};
        // Drivers repeat a record now and then; once is enough for a reader.
        const bool repeated = std::any_of(found.begin(), found.end(), [&](const Diagnostic& f) {
            return f.state == d.state && f.text == d.text;
        });
        if (!repeated) {
            found.push_back(std::move(d));
        }
    }
    return found;
}

// "08001 [Driver]text; IM002 text", or the bare return code when the driver left no record.
std::string describe(const std::vector<Diagnostic>& diagnostics, SQLRETURN rc) {
    if (diagnostics.empty()) {
        return "ODBC call failed with return code " + std::to_string(rc);
    }
    std::string out;
    for (const Diagnostic& d : diagnostics) {
        if (!out.empty()) {
            out += "; ";
        }
        out += d.state + " " + d.text;
    }
    return out;
}

// The query timeout a statement ran under, as its driver holds it; 0 for another handle.
int queryTimeoutOf(const OdbcHandle& handle) {
    SQLULEN seconds = 0;
    if (handle.type() != SQL_HANDLE_STMT ||
        !SQL_SUCCEEDED(
            SQLGetStmtAttr(handle.get(), SQL_ATTR_QUERY_TIMEOUT, &seconds, 0, nullptr))) {
        return 0;
    }
    return static_cast<int>(seconds);
}

[[noreturn]] void throwFailure(const OdbcHandle& handle, SQLRETURN rc, std::string_view sql,
                               std::string_view detail = {}) {
    const std::vector<Diagnostic> diagnostics = diagnosticsOf(handle.type(), handle.get());
    std::string message = describe(diagnostics, rc);
    if (!detail.empty()) {
        message += " (" + std::string(detail) + ")";
    }
    throw StatementError(diagnostics, sql, message, queryTimeoutOf(handle));
}

void check(SQLRETURN rc, const OdbcHandle& handle, std::string_view sql,
           std::string_view detail = {}) {
    if (!SQL_SUCCEEDED(rc)) {
        throwFailure(handle, rc, sql, detail);
    }
}

SQLPOINTER integerAttribute(SQLULEN value) {
    return reinterpret_cast<SQLPOINTER>(value);
}

OdbcHandle allocate(SQLSMALLINT type, const OdbcHandle& parent, std::string_view what) {
    SQLHANDLE raw = SQL_NULL_HANDLE;
    const SQLRETURN rc = SQLAllocHandle(type, parent.get(), &raw);
    if (!SQL_SUCCEEDED(rc)) {
        throwFailure(parent, rc, what, "allocating an ODBC handle");
    }
    return OdbcHandle(type, raw);
}

// The storage a bound parameter points at; it must stay put until the statement is freed.
struct BoundParameter {
    SQLBIGINT integer = 0;
    double real = 0;
    OdbcWideText text;
    SQL_TIMESTAMP_STRUCT timestamp{};
    SQLLEN indicator = 0;
};

// A statement after SQLExecute. The handle is declared last so it is freed before the buffers.
struct ExecutedStatement {
    std::vector<BoundParameter> parameters;
    OdbcHandle handle;
};

SQL_TIMESTAMP_STRUCT toTimestamp(const DateTime& value) {
    SQL_TIMESTAMP_STRUCT ts{};
    ts.year = static_cast<SQLSMALLINT>(value.year);
    ts.month = static_cast<SQLUSMALLINT>(value.month);
    ts.day = static_cast<SQLUSMALLINT>(value.day);
    ts.hour = static_cast<SQLUSMALLINT>(value.hour);
    ts.minute = static_cast<SQLUSMALLINT>(value.minute);
    ts.second = static_cast<SQLUSMALLINT>(value.second);
    ts.fraction = 0;
    return ts;
}

void bindParameter(const OdbcHandle& stmt, std::size_t index, const Value& value,
                   BoundParameter& bound, std::string_view sql) {
    SQLSMALLINT cType = SQL_C_WCHAR;
    SQLSMALLINT sqlType = SQL_WVARCHAR;
    SQLULEN columnSize = 0;
    SQLSMALLINT digits = 0;
    SQLPOINTER data = nullptr;
    SQLLEN bufferLength = 0;
    switch (value.kind()) {
        case Value::Kind::Null:
            // A typeless Null: nvarchar converts implicitly to every column type used here.
            bound.text = {0};
            columnSize = 1;
            data = bound.text.data();
            bound.indicator = SQL_NULL_DATA;
            break;
        case Value::Kind::Integer:
            bound.integer = static_cast<SQLBIGINT>(*value.integer());
            cType = SQL_C_SBIGINT;
            sqlType = SQL_BIGINT;
            data = &bound.integer;
            break;
        case Value::Kind::Real:
            bound.real = *value.real();
            cType = SQL_C_DOUBLE;
            sqlType = SQL_DOUBLE;
            columnSize = 15;
            data = &bound.real;
            break;
        case Value::Kind::Text: {
            bound.text = toOdbcWide(*value.text());
            const std::size_t chars = bound.text.size();
            bound.indicator = static_cast<SQLLEN>(chars * sizeof(SQLWCHAR));
            bound.text.push_back(0);
            sqlType = chars <= kShortTextChars ? SQL_WVARCHAR : SQL_WLONGVARCHAR;
            columnSize = chars <= kShortTextChars ? kShortTextChars : chars;
            data = bound.text.data();
            bufferLength = static_cast<SQLLEN>(bound.text.size() * sizeof(SQLWCHAR));
            break;
        }
        case Value::Kind::DateTime: {
            const DateTime& dt = *value.dateTime();
            if (!dt.isValid()) {
                throw DatabaseError("Invalid date " + value.debugString() + " for parameter " +
                                    std::to_string(index + 1) +
                                    " in statement: " + statementForMessage(sql));
            }
            bound.timestamp = toTimestamp(dt);
            cType = SQL_C_TYPE_TIMESTAMP;
            sqlType = SQL_TYPE_TIMESTAMP;
            columnSize = kTimestampColumnSize;
            digits = kTimestampDigits;
            data = &bound.timestamp;
            bufferLength = sizeof(bound.timestamp);
            break;
        }
    }
    const SQLRETURN rc =
        SQLBindParameter(stmt.get(), static_cast<SQLUSMALLINT>(index + 1), SQL_PARAM_INPUT, cType,
                         sqlType, columnSize, digits, data, bufferLength, &bound.indicator);
    check(rc, stmt, sql, "binding parameter " + std::to_string(index + 1));
}

// How a column is read, from the type the driver reports for it.
enum class ReadAs { Integer, Real, Decimal, Text, Timestamp, Time, Binary };

ReadAs readAsFor(SQLSMALLINT type) {
    switch (type) {
        case SQL_BIT:
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIGINT:
            return ReadAs::Integer;
        case SQL_REAL:
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return ReadAs::Real;
        case SQL_DECIMAL:
        case SQL_NUMERIC:
            return ReadAs::Decimal;
        case SQL_TYPE_DATE:
        case SQL_TYPE_TIMESTAMP:
        case SQL_DATE:
        case SQL_TIMESTAMP:
        case kSsTimestampOffset:
            return ReadAs::Timestamp;
        case SQL_TYPE_TIME:
        case SQL_TIME:
        case kSsTime2:
            return ReadAs::Time;
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
            return ReadAs::Binary;
        default:
            // Characters, GUIDs, XML, variants and anything else the driver can render as text.
            return ReadAs::Text;
    }
}

struct Column {
    std::string name;
    ReadAs readAs = ReadAs::Text;
    SQLSMALLINT scale = 0;
};

class ColumnReader {
  public:
    ColumnReader(const OdbcHandle& stmt, std::string_view sql) : stmt_(stmt), sql_(sql) {}

    Value read(SQLUSMALLINT number, const Column& column) {
        switch (column.readAs) {
            case ReadAs::Integer: {
                SQLBIGINT v = 0;
                if (!fixed(number, column, SQL_C_SBIGINT, &v, sizeof(v))) {
                    return Value();
                }
                return Value(static_cast<long long>(v));
            }
            case ReadAs::Real: {
                double v = 0;
                if (!fixed(number, column, SQL_C_DOUBLE, &v, sizeof(v))) {
                    return Value();
                }
                return Value(v);
            }
            case ReadAs::Decimal: {
                char text[128] = {};
                if (!fixed(number, column, SQL_C_CHAR, text, sizeof(text))) {
                    return Value();
                }
                return decimalValue(text, column.scale);
            }
            case ReadAs::Timestamp: {
                SQL_TIMESTAMP_STRUCT ts{};
                if (!fixed(number, column, SQL_C_TYPE_TIMESTAMP, &ts, sizeof(ts))) {
                    return Value();
                }
                return Value(DateTime{ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second});
            }
            case ReadAs::Time: {
                // A time of day alone lands on 1900-01-01, as SQL Server converts it.
                SQL_TIME_STRUCT t{};
                if (!fixed(number, column, SQL_C_TYPE_TIME, &t, sizeof(t))) {
                    return Value();
                }
                return Value(DateTime{1900, 1, 1, t.hour, t.minute, t.second});
            }
            case ReadAs::Binary:
                return binary(number, column);
            case ReadAs::Text:
                break;
        }
        return text(number, column);
    }

  private:
    std::string detail(const Column& column) const { return "reading column " + column.name; }

    // One fixed-size value; false for a Null.
    bool fixed(SQLUSMALLINT number, const Column& column, SQLSMALLINT cType, SQLPOINTER target,
               std::size_t size) {
        SQLLEN indicator = 0;
        const SQLRETURN rc =
            SQLGetData(stmt_.get(), number, cType, target, static_cast<SQLLEN>(size), &indicator);
        check(rc, stmt_, sql_, detail(column));
        return indicator != SQL_NULL_DATA;
    }

    // Texts of any length, piece by piece; a Null stays a Null, never empty text.
    Value text(SQLUSMALLINT number, const Column& column) {
        constexpr auto kBufferBytes = static_cast<SQLLEN>(kChunkChars * sizeof(SQLWCHAR));
        std::vector<SQLWCHAR> buffer(kChunkChars);
        OdbcWideText whole;
        for (;;) {
            SQLLEN indicator = 0;
            const SQLRETURN rc = SQLGetData(stmt_.get(), number, SQL_C_WCHAR, buffer.data(),
                                            kBufferBytes, &indicator);
            if (rc == SQL_NO_DATA) {
                break;
            }
            check(rc, stmt_, sql_, detail(column));
            if (indicator == SQL_NULL_DATA) {
                return Value();
            }
            const bool truncated = indicator == SQL_NO_TOTAL ||
                                   indicator > kBufferBytes - static_cast<SQLLEN>(sizeof(SQLWCHAR));
            const std::size_t chars = truncated
                                          ? kChunkChars - 1
                                          : static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR);
            whole.insert(whole.end(), buffer.begin(),
                         buffer.begin() + static_cast<std::ptrdiff_t>(chars));
            if (!truncated || rc == SQL_SUCCESS) {
                break;
            }
        }
        return Value(fromOdbcWide(whole));
    }

    Value binary(SQLUSMALLINT number, const Column& column) {
        constexpr std::size_t kBufferBytes = kChunkChars * 2;
        std::vector<unsigned char> buffer(kBufferBytes);
        std::vector<unsigned char> whole;
        for (;;) {
            SQLLEN indicator = 0;
            const SQLRETURN rc = SQLGetData(stmt_.get(), number, SQL_C_BINARY, buffer.data(),
                                            static_cast<SQLLEN>(kBufferBytes), &indicator);
            if (rc == SQL_NO_DATA) {
                break;
            }
            check(rc, stmt_, sql_, detail(column));
            if (indicator == SQL_NULL_DATA) {
                return Value();
            }
            const bool truncated =
                indicator == SQL_NO_TOTAL || indicator > static_cast<SQLLEN>(kBufferBytes);
            const std::size_t bytes =
                truncated ? kBufferBytes : static_cast<std::size_t>(indicator);
            whole.insert(whole.end(), buffer.begin(),
                         buffer.begin() + static_cast<std::ptrdiff_t>(bytes));
            if (!truncated || rc == SQL_SUCCESS) {
                break;
            }
        }
        return Value(hexText(whole));
    }

    const OdbcHandle& stmt_;
    std::string_view sql_;
};

std::vector<Column> describeColumns(const OdbcHandle& stmt, SQLSMALLINT count,
                                    std::string_view sql) {
    std::vector<Column> columns;
    columns.reserve(static_cast<std::size_t>(count));
    for (SQLSMALLINT i = 1; i <= count; ++i) {
        const auto number = static_cast<SQLUSMALLINT>(i);
        std::vector<SQLWCHAR> name(256);
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT type = 0;
        SQLULEN size = 0;
        SQLSMALLINT scale = 0;
        SQLSMALLINT nullable = 0;
        SQLRETURN rc =
            SQLDescribeColW(stmt.get(), number, name.data(), static_cast<SQLSMALLINT>(name.size()),
                            &nameLength, &type, &size, &scale, &nullable);
        if (SQL_SUCCEEDED(rc) && static_cast<std::size_t>(nameLength) >= name.size()) {
            name.resize(static_cast<std::size_t>(nameLength) + 1);
            rc = SQLDescribeColW(stmt.get(), number, name.data(),
                                 static_cast<SQLSMALLINT>(name.size()), &nameLength, &type, &size,
                                 &scale, &nullable);
        }
        check(rc, stmt, sql, "describing column " + std::to_string(i));
        const std::size_t chars = std::min(
            static_cast<std::size_t>(std::max<SQLSMALLINT>(nameLength, 0)), name.size() - 1);
        columns.push_back({fromOdbcWide(name.data(), chars), readAsFor(type), scale});
    }
    return columns;
}

// Moves past every further result of a batch; an error raised by a later statement of the batch
// only surfaces here.
void discardRemainingResults(const OdbcHandle& stmt, std::string_view sql) {
    for (;;) {
        const SQLRETURN rc = SQLMoreResults(stmt.get());
        if (rc == SQL_NO_DATA) {
            return;
        }
        check(rc, stmt, sql);
    }
}

class OdbcConnection final : public Connection {
  public:
    OdbcConnection(const std::string& connectionString, int loginTimeoutSeconds,
                   int queryTimeoutSeconds, StatementTranslation translation)
        : queryTimeout_(static_cast<SQLULEN>(std::max(queryTimeoutSeconds, 1))),
          translation_(std::move(translation)) {
        const std::string odbcString = toOdbcConnectionString(connectionString);
        const auto fail = [&](const OdbcHandle& handle, SQLRETURN rc) {
            const auto diagnostics = diagnosticsOf(handle.type(), handle.get());
            const ConnectFailure failure = ClassifyConnectFailure(diagnostics, odbcString);
            std::string message =
                "Cannot connect with \"" + odbcString + "\": " + describe(diagnostics, rc);
            if (!failure.advice.empty()) {
                message += ". " + failure.advice;
            }
            message = removePasswords(removePasswords(message, connectionString), odbcString);
            throw DatabaseError(message, false, failure.mayPassByItself);
        };

        SQLHANDLE raw = SQL_NULL_HANDLE;
        SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &raw);
        if (!SQL_SUCCEEDED(rc)) {
            throw DatabaseError(
                "Cannot allocate an ODBC environment (is the driver manager "
                "installed?)");
        }
        env_ = OdbcHandle(SQL_HANDLE_ENV, raw);
        rc = SQLSetEnvAttr(env_.get(), SQL_ATTR_ODBC_VERSION, integerAttribute(SQL_OV_ODBC3), 0);
        if (!SQL_SUCCEEDED(rc)) {
            fail(env_, rc);
        }
        raw = SQL_NULL_HANDLE;
        rc = SQLAllocHandle(SQL_HANDLE_DBC, env_.get(), &raw);
        if (!SQL_SUCCEEDED(rc)) {
            fail(env_, rc);
        }
        dbc_ = OdbcHandle(SQL_HANDLE_DBC, raw);

        // A driver that lacks these options still connects, only without the limit.
        const auto timeout = static_cast<SQLULEN>(std::max(loginTimeoutSeconds, 0));
        SQLSetConnectAttr(dbc_.get(), SQL_ATTR_LOGIN_TIMEOUT, integerAttribute(timeout), 0);
        SQLSetConnectAttr(dbc_.get(), SQL_ATTR_CONNECTION_TIMEOUT, integerAttribute(timeout), 0);

        OdbcWideText wide = toOdbcWide(odbcString);
        if (wide.size() > static_cast<std::size_t>(std::numeric_limits<SQLSMALLINT>::max())) {
            throw DatabaseError("The connection string is too long");
        }
        SQLSMALLINT outLength = 0;
        rc = SQLDriverConnectW(dbc_.get(), nullptr, wide.data(),
                               static_cast<SQLSMALLINT>(wide.size()), nullptr, 0, &outLength,
                               SQL_DRIVER_NOPROMPT);
        if (!SQL_SUCCEEDED(rc)) {
            fail(dbc_, rc);
        }
        connected_ = true;
    }

    ~OdbcConnection() override {
        if (!connected_) {
            return;
        }
        // A connection with an open transaction refuses to disconnect; what was not committed
        // is rolled back.
        if (manualCommit_) {
            SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK);
        }
        SQLDisconnect(dbc_.get());
    }

    OdbcConnection(const OdbcConnection&) = delete;
    OdbcConnection& operator=(const OdbcConnection&) = delete;

    void execute(std::string_view sql, const Params& params) override {
        ExecutedStatement stmt = run(sql, params);
        discardRemainingResults(stmt.handle, sql);
    }

    ResultSet query(std::string_view sql, const Params& params) override {
        return fetchAll(sql, params);
    }

  private:
    ResultSet fetchAll(std::string_view sql, const Params& params) {
        ExecutedStatement stmt = run(sql, params);
        ResultSet result;
        const OdbcHandle& h = stmt.handle;
        // The rows are those of the first result that has columns; row counts of statements
        // before it in the batch are skipped.
        SQLSMALLINT count = 0;
        for (;;) {
            check(SQLNumResultCols(h.get(), &count), h, sql);
            if (count > 0) {
                break;
            }
            const SQLRETURN rc = SQLMoreResults(h.get());
            if (rc == SQL_NO_DATA) {
                return result;
            }
            check(rc, h, sql);
        }
        const std::vector<Column> columns = describeColumns(h, count, sql);
        for (const Column& c : columns) {
            result.columns.push_back(c.name);
        }
        ColumnReader reader(h, sql);
        for (;;) {
            const SQLRETURN rc = SQLFetch(h.get());
            if (rc == SQL_NO_DATA) {
                break;
            }
            check(rc, h, sql, "fetching a row");
            result.addRow();
            for (std::size_t i = 0; i < columns.size(); ++i) {
                result.addValue(reader.read(static_cast<SQLUSMALLINT>(i + 1), columns[i]));
            }
        }
        discardRemainingResults(h, sql);
        return result;
    }

  public:
    void beginTransaction() override {
        setAutocommit(false, "BEGIN TRANSACTION");
        manualCommit_ = true;
    }

    void commitTransaction() override { endTransaction(SQL_COMMIT, "COMMIT TRANSACTION"); }

    void rollbackTransaction() override { endTransaction(SQL_ROLLBACK, "ROLLBACK TRANSACTION"); }

    // Outside a transaction the unit is one; inside one (a dry run) it is a SQL Server savepoint.
    void beginUnit() override {
        if (manualCommit_) {
            execute(kOdbcSaveUnitSql, {});
            unitOwnsTransaction_ = false;
        } else {
            beginTransaction();
            unitOwnsTransaction_ = true;
        }
    }

    void commitUnit() override {
        if (unitOwnsTransaction_) {
            commitTransaction();
        }
    }

    void rollbackUnit() override {
        if (unitOwnsTransaction_) {
            rollbackTransaction();
        } else {
            execute(kOdbcRollbackUnitSql, {});
        }
    }

  private:
    ExecutedStatement run(std::string_view sql, const Params& params) {
        ExecutedStatement stmt;
        stmt.handle = allocate(SQL_HANDLE_STMT, dbc_, sql);
        const OdbcHandle& h = stmt.handle;
        // A driver without the option runs the statement without the limit.
        SQLSetStmtAttr(h.get(), SQL_ATTR_QUERY_TIMEOUT, integerAttribute(queryTimeout_), 0);
        OdbcWideText text = toOdbcWide(translation_ ? translation_(sql) : std::string(sql));
        check(SQLPrepareW(h.get(), text.data(), static_cast<SQLINTEGER>(text.size())), h, sql);

        SQLSMALLINT markers = 0;
        if (SQL_SUCCEEDED(SQLNumParams(h.get(), &markers)) &&
            static_cast<std::size_t>(markers) != params.size()) {
            throw DatabaseError("The statement has " + std::to_string(markers) +
                                " parameter markers but " + std::to_string(params.size()) +
                                " values were given, in statement: " + statementForMessage(sql));
        }
        stmt.parameters.resize(params.size());
        for (std::size_t i = 0; i < params.size(); ++i) {
            bindParameter(h, i, params[i], stmt.parameters[i], sql);
        }
        const SQLRETURN rc = SQLExecute(h.get());
        // SQL_NO_DATA: a searched UPDATE or DELETE that touched no row, which is no failure;
        // later results of a batch still follow it.
        if (rc != SQL_NO_DATA) {
            check(rc == SQL_NEED_DATA ? SQL_ERROR : rc, h, sql);
        }
        return stmt;
    }

    void setAutocommit(bool on, std::string_view what) {
        const SQLRETURN rc =
            SQLSetConnectAttr(dbc_.get(), SQL_ATTR_AUTOCOMMIT,
                              integerAttribute(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0);
        check(rc, dbc_, what);
    }

    // On failure autocommit stays off: switching it on would commit whatever is pending.
    void endTransaction(SQLSMALLINT completion, std::string_view what) {
        check(SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), completion), dbc_, what);
        setAutocommit(true, what);
        manualCommit_ = false;
    }

    OdbcHandle env_;
    OdbcHandle dbc_;  // declared after env_: freed before it
    bool connected_ = false;
    bool manualCommit_ = false;
    bool unitOwnsTransaction_ = false;
    SQLULEN queryTimeout_;
    StatementTranslation translation_;
};

}  // namespace

std::unique_ptr<Connection> openOdbcConnection(const std::string& connectionString,
                                               int loginTimeoutSeconds, int queryTimeoutSeconds,
                                               StatementTranslation translation) {
    return std::make_unique<OdbcConnection>(connectionString, loginTimeoutSeconds,
                                            queryTimeoutSeconds, std::move(translation));
}

}  // namespace fas::db
