#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/Connection.h"
#include "db/Value.h"

namespace fas::db {

// A static recordset: every row was fetched when the query was opened, so statements executed
// while walking it never disturb it.
class Recordset {
  public:
    Recordset() = default;
    Recordset(std::string sql, ResultSet result);

    bool eof() const { return position_ >= result_.rowCount(); }
    bool empty() const { return result_.rowCount() == 0; }
    void moveNext();
    std::size_t rowCount() const { return result_.rowCount(); }
    const std::vector<std::string>& columns() const { return result_.columns; }
    const std::string& sql() const { return sql_; }

    // The column of the current row, by name (case-insensitive). A name the query lacks, or a
    // read past the last row, is an error naming the column and the statement.
    Value value(std::string_view column) const;

    // The three read forms, with the column and the statement in any conversion error.
    std::string text(std::string_view column) const;
    std::string joined(std::string_view column) const;
    bool condition(std::string_view column) const;
    std::int16_t int16(std::string_view column) const;
    std::int32_t int32(std::string_view column) const;
    std::int64_t int64(std::string_view column) const;
    bool boolean(std::string_view column) const;
    DateTime dateTime(std::string_view column) const;

  private:
    std::size_t columnIndex(std::string_view column) const;
    [[noreturn]] void rethrow(std::string_view column, const std::exception& e) const;

    std::string sql_;
    ResultSet result_;
    std::size_t position_ = 0;
    // Names already looked up, as the caller wrote them: rules read the same few columns of
    // every row.
    mutable std::vector<std::pair<std::string, std::size_t>> lookedUp_;
};

}  // namespace fas::db
