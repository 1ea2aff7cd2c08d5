#include "db/Value.h"
#include "db/Text.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

#include "db/Errors.h"

namespace fas::db {
namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// A whole number read from text ("42", " -7 ", "3.0"); nothing for anything else.
std::optional<double> numberFromText(std::string_view text) {
    text = trimmed(text);
    if (text.empty()) {
        return std::nullopt;
    }
    std::string copy(text);
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || errno == ERANGE || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

[[noreturn]] void nullError(const char* wanted) {
    throw ConversionError(std::string("Invalid use of Null: a Null value where ") + wanted +
                          " is required");
}

std::int64_t integerInRange(const Value& v, std::int64_t low, std::int64_t high,
                            const char* wanted) {
    double number = 0;
    if (const auto* i = v.integer()) {
        if (*i < low || *i > high) {
            throw ConversionError("Overflow: " + std::to_string(*i) + " does not fit " + wanted);
        }
        return *i;
    }
    if (const auto* r = v.real()) {
        number = *r;
    } else if (const auto* t = v.text()) {
        const auto parsed = numberFromText(*t);
        if (!parsed) {
            throw ConversionError("Type mismatch: '" + *t + "' is not a number (" + wanted + ")");
        }
        number = *parsed;
    } else if (v.isNull()) {
        nullError(wanted);
    } else {
        throw ConversionError(std::string("Type mismatch: a date where ") + wanted +
                              " is required");
    }
    // Halves round to even, as the system's conversions always have.
    const double rounded = std::nearbyint(number);
    if (!(rounded >= static_cast<double>(low) && rounded <= static_cast<double>(high))) {
        throw ConversionError("Overflow: " + v.debugString() + " does not fit " + wanted);
    }
    return static_cast<std::int64_t>(rounded);
}

std::string realText(double value) {
    if (std::nearbyint(value) == value && std::fabs(value) < 1e15) {
        return std::to_string(static_cast<long long>(value));
    }
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

}  // namespace

std::string Value::asText() const {
    switch (kind()) {
        case Kind::Null:
            nullError("text");
        case Kind::Integer:
            return std::to_string(*integer());
        case Kind::Real:
            return realText(*real());
        case Kind::Text:
            return *text();
        case Kind::DateTime:
            return dateText(*dateTime());
    }
    return {};
}

std::int16_t Value::asInt16() const {
    return static_cast<std::int16_t>(integerInRange(*this, std::numeric_limits<std::int16_t>::min(),
                                                    std::numeric_limits<std::int16_t>::max(),
                                                    "a 16-bit integer"));
}

std::int32_t Value::asInt32() const {
    return static_cast<std::int32_t>(integerInRange(*this, std::numeric_limits<std::int32_t>::min(),
                                                    std::numeric_limits<std::int32_t>::max(),
                                                    "a 32-bit integer"));
}

std::int64_t Value::asInt64() const {
    return integerInRange(*this, std::numeric_limits<std::int64_t>::min(),
                          std::numeric_limits<std::int64_t>::max(), "a 64-bit integer");
}

double Value::asDouble() const {
    switch (kind()) {
        case Kind::Null:
            nullError("a number");
        case Kind::Integer:
            return static_cast<double>(*integer());
        case Kind::Real:
            return *real();
        case Kind::Text: {
            const auto parsed = numberFromText(*text());
            if (!parsed) {
                throw ConversionError("Type mismatch: '" + *text() + "' is not a number");
            }
            return *parsed;
        }
        case Kind::DateTime:
            throw ConversionError("Type mismatch: a date where a number is required");
    }
    return 0;
}

bool Value::asBool() const {
    switch (kind()) {
        case Kind::Null:
            nullError("a true/false value");
        case Kind::Integer:
            return *integer() != 0;
        case Kind::Real:
            return *real() != 0.0;
        case Kind::Text: {
            const std::string_view t = trimmed(*text());
            if (equalsIgnoringCase(t, "true")) {
                return true;
            }
            if (equalsIgnoringCase(t, "false")) {
                return false;
            }
            if (const auto parsed = numberFromText(t)) {
                return *parsed != 0.0;
            }
            throw ConversionError("Type mismatch: '" + *text() + "' is not a true/false value");
        }
        case Kind::DateTime:
            throw ConversionError("Type mismatch: a date where a true/false value is required");
    }
    return false;
}

DateTime Value::asDateTime() const {
    switch (kind()) {
        case Kind::Null:
            nullError("a date");
        case Kind::DateTime:
            return *dateTime();
        case Kind::Text:
            if (const auto parsed = DateTime::parse(*text())) {
                return *parsed;
            }
            throw ConversionError("Type mismatch: '" + *text() + "' is not a date");
        case Kind::Integer:
        case Kind::Real:
            break;
    }
    throw ConversionError("Type mismatch: the number " + debugString() + " is not a date");
}

std::string Value::debugString() const {
    switch (kind()) {
        case Kind::Null:
            return "NULL";
        case Kind::Integer:
            return std::to_string(*integer());
        case Kind::Real:
            return realText(*real());
        case Kind::Text:
            return "'" + *text() + "'";
        case Kind::DateTime:
            return "#" + dateTime()->toIso() + "#";
    }
    return {};
}

}  // namespace fas::db
