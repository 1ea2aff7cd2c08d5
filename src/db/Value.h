#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "db/DateTime.h"

namespace fas::db {

// A database value: Null, integer, floating, UTF-8 text or date-time. Three read forms, as the
// system distinguishes them:
//  - strict conversion (asText, asInt16, ...): a Null or an out-of-range value is an error;
//  - joined into text (joined): a Null contributes empty text;
//  - used as a condition (isTrue): a Null counts as false.
class Value {
  public:
    enum class Kind { Null, Integer, Real, Text, DateTime };

    Value() = default;
    Value(std::nullptr_t) {}
    Value(int v) : data_(static_cast<std::int64_t>(v)) {}
    Value(long v) : data_(static_cast<std::int64_t>(v)) {}
    Value(long long v) : data_(static_cast<std::int64_t>(v)) {}
    Value(double v) : data_(v) {}
    Value(std::string v) : data_(std::move(v)) {}
    Value(const char* v) : data_(std::string(v)) {}
    Value(std::string_view v) : data_(std::string(v)) {}
    Value(DateTime v) : data_(v) {}
    Value(bool) = delete;  // flags are stored as integers 0/1: say which

    Kind kind() const { return static_cast<Kind>(data_.index()); }
    bool isNull() const { return kind() == Kind::Null; }

    // Strict conversions; each throws ConversionError (see Errors.h) with a reason.
    std::string asText() const;
    std::int16_t asInt16() const;
    std::int32_t asInt32() const;
    std::int64_t asInt64() const;
    double asDouble() const;
    bool asBool() const;  // numbers: non-zero is true; texts "True"/"False", "1"/"0", "-1"
    DateTime asDateTime() const;

    // Joined into text: Null is empty.
    std::string joined() const { return isNull() ? std::string() : asText(); }
    // Used as a condition: Null is false.
    bool isTrue() const { return isNull() ? false : asBool(); }

    // For messages and tests: "NULL", 42, 'text', #2027-03-15 00:00:00#.
    std::string debugString() const;

    const std::int64_t* integer() const { return std::get_if<std::int64_t>(&data_); }
    const double* real() const { return std::get_if<double>(&data_); }
    const std::string* text() const { return std::get_if<std::string>(&data_); }
    const DateTime* dateTime() const { return std::get_if<DateTime>(&data_); }

    bool operator==(const Value&) const = default;

  private:
    std::variant<std::monostate, std::int64_t, double, std::string, DateTime> data_;
};

}  // namespace fas::db
