#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "db/TsqlDialect.h"
#include "db/Value.h"

namespace fas::test {

// An in-memory embedded database with the T-SQL functions registered, running T-SQL statements
// through the dialect layer as the embedded backend does. Cells come back as text (Null: none).
class TsqlMemoryDb {
  public:
    using Cell = std::optional<std::string>;
    using Row = std::vector<Cell>;

    TsqlMemoryDb() {
        if (sqlite3_open(":memory:", &db_) != SQLITE_OK) {
            throw std::runtime_error("cannot open an in-memory database");
        }
        db::registerTsqlFunctions(db_);
    }
    ~TsqlMemoryDb() { sqlite3_close(db_); }
    TsqlMemoryDb(const TsqlMemoryDb&) = delete;
    TsqlMemoryDb& operator=(const TsqlMemoryDb&) = delete;

    // Plain engine SQL for set-up, not translated.
    void setUp(const char* sql) {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string message = error != nullptr ? error : "?";
            sqlite3_free(error);
            throw std::runtime_error(message);
        }
    }

    // Translates and runs a T-SQL statement; an engine error is thrown with its message.
    std::vector<Row> run(std::string_view tsql, const std::vector<db::Value>& params = {}) {
        const std::string sql = db::translateTsql(tsql);
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr) !=
            SQLITE_OK) {
            throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + " in: " + sql);
        }
        for (std::size_t i = 0; i < params.size(); ++i) {
            bind(stmt, static_cast<int>(i) + 1, params[i]);
        }
        columns.clear();
        for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
            columns.emplace_back(sqlite3_column_name(stmt, c));
        }
        std::vector<Row> rows;
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            Row row;
            for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                const unsigned char* text = sqlite3_column_text(stmt, c);
                row.push_back(text == nullptr ? Cell{} : Cell{reinterpret_cast<const char*>(text)});
            }
            rows.push_back(std::move(row));
        }
        const std::string message = sqlite3_errmsg(db_);
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE) {
            throw std::runtime_error(message + " in: " + sql);
        }
        return rows;
    }

    // The single cell of a one-row, one-column query.
    Cell scalar(std::string_view tsql, const std::vector<db::Value>& params = {}) {
        const std::vector<Row> rows = run(tsql, params);
        if (rows.size() != 1 || rows[0].size() != 1) {
            throw std::runtime_error("expected one cell from: " + std::string(tsql));
        }
        return rows[0][0];
    }

    // The message of a statement that must fail; empty when it did not.
    std::string errorOf(std::string_view tsql) {
        try {
            run(tsql);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return {};
    }

    // The column names of the last statement run.
    std::vector<std::string> columns;

  private:
    static void bind(sqlite3_stmt* stmt, int index, const db::Value& value) {
        if (const std::int64_t* n = value.integer()) {
            sqlite3_bind_int64(stmt, index, *n);
        } else if (const std::string* s = value.text()) {
            sqlite3_bind_text(stmt, index, s->c_str(), static_cast<int>(s->size()),
                              SQLITE_TRANSIENT);
        } else if (const db::DateTime* d = value.dateTime()) {
            const std::string iso = d->toIso();
            sqlite3_bind_text(stmt, index, iso.c_str(), static_cast<int>(iso.size()),
                              SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_null(stmt, index);
        }
    }

    sqlite3* db_ = nullptr;
};

}  // namespace fas::test
