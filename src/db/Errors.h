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
// log-in or a malformed setting, which only a person can cure. deadlockVictim() says that the
// database broke a deadlock with another program by undoing this connection's whole transaction,
// savepoints included: what the transaction did is gone, and doing it again may well succeed.
class DatabaseError : public std::runtime_error {
  public:
    explicit DatabaseError(const std::string& message, bool connectionLost = false,
                           bool mayPassByItself = false, bool deadlockVictim = false)
        : std::runtime_error(message),
          connectionLost_(connectionLost),
          mayPassByItself_(mayPassByItself),
          deadlockVictim_(deadlockVictim) {}
    // The same failure told with more context (the rule item, the phase, the tries).
    DatabaseError(const DatabaseError& failure, const std::string& message)
        : DatabaseError(message, failure.connectionLost_, failure.mayPassByItself_,
                        failure.deadlockVictim_) {}
    bool connectionLost() const { return connectionLost_; }
    bool mayPassByItself() const { return mayPassByItself_; }
    bool deadlockVictim() const { return deadlockVictim_; }

  private:
    bool connectionLost_;
    bool mayPassByItself_;
    bool deadlockVictim_;
};

// How often a deadlock victim is run in all before its failure is an error.
inline constexpr int kDeadlockTries = 3;

// How long one statement may wait or run before it is cancelled, in seconds; the environment
// variable AUTOMATION_SERVER_QUERY_TIMEOUT overrides the default. Throws DatabaseError naming the
// variable when its value is no whole number from 1 to 86400.
inline constexpr int kDefaultQueryTimeoutSeconds = 180;
int queryTimeoutSeconds();

// What a statement does, for messages: "the query reading Issues", "the update of Issues".
std::string statementPurpose(std::string_view sql);

// The message of a statement cancelled by the query timeout.
std::string timeoutMessage(std::string_view sql, int seconds);

// The message of a statement whose transaction the database undid as a deadlock victim;
// `driverText` is what the driver said.
std::string deadlockMessage(std::string_view sql, std::string_view driverText);

// The message of a deadlock victim that is not run again after `tries` tries.
std::string deadlockGivenUpMessage(const DatabaseError& failure, int tries);

// The message of a statement that waited for another program's lock longer than the server's
// lock time-out.
std::string lockTimeoutMessage(std::string_view sql, std::string_view driverText);

// Shortens a statement for an error message.
std::string statementForMessage(std::string_view sql);

}  // namespace fas::db
