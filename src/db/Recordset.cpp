#include "db/Recordset.h"
#include "db/Text.h"

#include <cctype>

#include "db/Errors.h"

namespace fas::db {
Recordset::Recordset(std::string sql, ResultSet result)
    : sql_(std::move(sql)), result_(std::move(result)) {}

Recordset::Recordset(std::string sql, std::unique_ptr<RowSource> forward)
    : sql_(std::move(sql)), forward_(std::move(forward)) {
    result_.columns = forward_->columns();
    forwardRow_ = forward_->next(result_);
}

void Recordset::moveNext() {
    if (forward_) {
        if (forwardRow_) {
            forwardRow_ = forward_->next(result_);
        }
    } else if (!eof()) {
        ++position_;
    }
}

std::size_t Recordset::columnIndex(std::string_view column) const {
    for (const auto& [name, index] : lookedUp_) {
        if (name == column) {
            return index;
        }
    }
    for (std::size_t i = 0; i < result_.columns.size(); ++i) {
        if (equalsIgnoringCase(result_.columns[i], column)) {
            lookedUp_.emplace_back(std::string(column), i);
            return i;
        }
    }
    throw DatabaseError("Item cannot be found: the query has no column '" + std::string(column) +
                        "' (statement: " + statementForMessage(sql_) + ")");
}

Value Recordset::value(std::string_view column) const {
    const std::size_t index = columnIndex(column);
    if (eof()) {
        throw DatabaseError(
            "No current row: column '" + std::string(column) +
            "' was read past the last row (statement: " + statementForMessage(sql_) + ")");
    }
    return result_.cell(position_, index);
}

void Recordset::rethrow(std::string_view column, const std::exception& e) const {
    throw ConversionError("Column '" + std::string(column) + "': " + e.what() +
                          " (statement: " + statementForMessage(sql_) + ")");
}

// Each read form converts the value and names the column and statement when it cannot.
#define FAS_RECORDSET_READ(Type, Name, Expression)        \
    Type Recordset::Name(std::string_view column) const { \
        const Value v = value(column);                    \
        try {                                             \
            return Expression;                            \
        } catch (const ConversionError& e) {              \
            rethrow(column, e);                           \
        }                                                 \
    }

FAS_RECORDSET_READ(std::string, text, v.asText())
FAS_RECORDSET_READ(std::string, joined, v.joined())
FAS_RECORDSET_READ(bool, condition, v.isTrue())
FAS_RECORDSET_READ(std::int16_t, int16, v.asInt16())
FAS_RECORDSET_READ(std::int32_t, int32, v.asInt32())
FAS_RECORDSET_READ(std::int64_t, int64, v.asInt64())
FAS_RECORDSET_READ(bool, boolean, v.asBool())
FAS_RECORDSET_READ(DateTime, dateTime, v.asDateTime())

#undef FAS_RECORDSET_READ

}  // namespace fas::db
