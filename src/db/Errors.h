#pragma once

#include <stdexcept>
#include <string>

namespace fas::db {

// A value could not be read in the form asked for (a Null where a number is required, a number
// out of range, text that is no date...).
class ConversionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A statement failed. connectionLost() tells the task run that the connection itself is gone,
// so the run must end instead of going on with the next step.
class DatabaseError : public std::runtime_error {
  public:
    explicit DatabaseError(const std::string& message, bool connectionLost = false)
        : std::runtime_error(message), connectionLost_(connectionLost) {}
    bool connectionLost() const { return connectionLost_; }

  private:
    bool connectionLost_;
};

// Shortens a statement for an error message.
std::string statementForMessage(std::string_view sql);

}  // namespace fas::db
