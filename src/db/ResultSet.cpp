#include <cstring>
#include <limits>

#include "db/Connection.h"
#include "db/Errors.h"

namespace fas::db {

void ResultSet::addReal(double v) {
    Cell cell{Value::Kind::Real, 0, {0}};
    cell.real = v;
    cells_.push_back(cell);
}

void ResultSet::addText(std::string_view v) {
    if (v.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw DatabaseError("A text value of " + std::to_string(v.size()) +
                            " bytes is too long to read");
    }
    Cell cell{Value::Kind::Text, static_cast<std::uint32_t>(v.size()), {0}};
    cell.offset = text_.size();
    text_.append(v);
    cells_.push_back(cell);
}

void ResultSet::addDateTime(const DateTime& v) {
    cells_.push_back(Cell{Value::Kind::DateTime, 0, {v.secondsSinceEpoch()}});
}

void ResultSet::addValue(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Null:
            addNull();
            break;
        case Value::Kind::Integer:
            addInteger(*v.integer());
            break;
        case Value::Kind::Real:
            addReal(*v.real());
            break;
        case Value::Kind::Text:
            addText(*v.text());
            break;
        case Value::Kind::DateTime:
            addDateTime(*v.dateTime());
            break;
    }
}

namespace {

// A result fetched completely, handed over row by row.
class FetchedRows final : public RowSource {
  public:
    explicit FetchedRows(ResultSet rows) : rows_(std::move(rows)) {}
    const std::vector<std::string>& columns() const override { return rows_.columns; }
    bool next(ResultSet& row) override {
        if (next_ >= rows_.rowCount()) {
            return false;
        }
        row.clearRows();
        row.addRow();
        for (std::size_t c = 0; c < rows_.columns.size(); ++c) {
            row.addValue(rows_.cell(next_, c));
        }
        ++next_;
        return true;
    }

  private:
    ResultSet rows_;
    std::size_t next_ = 0;
};

}  // namespace

std::unique_ptr<RowSource> Connection::open(std::string_view sql, const Params& params) {
    return std::make_unique<FetchedRows>(query(sql, params));
}

Value ResultSet::cell(std::size_t row, std::size_t column) const {
    const Cell& c = cells_.at(row * columns.size() + column);
    switch (c.kind) {
        case Value::Kind::Null:
            return Value();
        case Value::Kind::Integer:
            return Value(static_cast<long long>(c.integer));
        case Value::Kind::Real:
            return Value(c.real);
        case Value::Kind::Text:
            return Value(std::string_view(text_.data() + c.offset, c.length));
        case Value::Kind::DateTime:
            return Value(DateTime::fromSecondsSinceEpoch(c.integer));
    }
    return Value();
}

}  // namespace fas::db
