#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/Connection.h"
#include "db/Value.h"

namespace fas::db {

// A recordset. A static one holds every row, fetched when the query was opened, so statements
// executed while walking it never disturb it. A forward one reads each row as the walk reaches
// it, for walks whose own statements never touch the rows they read; its memory is one row.
class Recordset {
  public:
    Recordset() = default;
    Recordset(std::string sql, ResultSet result);
    Recordset(std::string sql, std::unique_ptr<RowSource> forward);

    bool eof() const { return forward_ ? !forwardRow_ : position_ >= result_.rowCount(); }
    void moveNext();
    // Static recordsets only: a forward one does not know what is still to come.
    bool empty() const { return result_.rowCount() == 0; }
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
    ResultSet result_;  // a forward recordset's current row
    std::size_t position_ = 0;
    std::shared_ptr<RowSource> forward_;  // shared by copies, which walk on together
    bool forwardRow_ = false;
    // Names already looked up, as the caller wrote them: rules read the same few columns of
    // every row.
    mutable std::vector<std::pair<std::string, std::size_t>> lookedUp_;
};

}  // namespace fas::db
