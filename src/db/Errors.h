#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace fas::db {

// A value could not be read in the form asked for (a Null where a number is required, a number
// out of range, text that is no date...).
class ConversionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A statement failed. connectionLost() tells the task run that the connection itself is gone,
// so the run must end instead of going on with the next step. mayPassByItself() tells start-up
// that trying again later may succeed without anyone changing anything (the server did not
// answer, another program held a lock past the query timeout), unlike a missing file, a refused
// log-in or a malformed setting, which only a person can cure.
class DatabaseError : public std::runtime_error {
  public:
    explicit DatabaseError(const std::string& message, bool connectionLost = false,
                           bool mayPassByItself = false)
        : std::runtime_error(message),
          connectionLost_(connectionLost),
          mayPassByItself_(mayPassByItself) {}
    bool connectionLost() const { return connectionLost_; }
    bool mayPassByItself() const { return mayPassByItself_; }

  private:
    bool connectionLost_;
    bool mayPassByItself_;
};

// How long one statement may wait or run before it is cancelled, in seconds; the environment
// variable AUTOMATION_SERVER_QUERY_TIMEOUT overrides the default. Throws DatabaseError naming the
// variable when its value is no whole number from 1 to 86400.
inline constexpr int kDefaultQueryTimeoutSeconds = 180;
int queryTimeoutSeconds();

// What a statement does, for messages: "the query reading Issues", "the update of Issues".
std::string statementPurpose(std::string_view sql);

// The message of a statement cancelled by the query timeout.
std::string timeoutMessage(std::string_view sql, int seconds);

// Shortens a statement for an error message.
std::string statementForMessage(std::string_view sql);

}  // namespace fas::db
