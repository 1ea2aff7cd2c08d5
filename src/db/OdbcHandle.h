#pragma once

#include "platform/OdbcApi.h"

#include <utility>

namespace fas::db {

// Owns one ODBC handle (environment, connection or statement) and frees it on every path.
// Freeing a statement handle also closes its cursor and discards pending results.
class OdbcHandle {
  public:
    OdbcHandle() = default;
    OdbcHandle(SQLSMALLINT type, SQLHANDLE handle) : type_(type), handle_(handle) {}
    ~OdbcHandle() { reset(); }
    OdbcHandle(const OdbcHandle&) = delete;
    OdbcHandle& operator=(const OdbcHandle&) = delete;
    OdbcHandle(OdbcHandle&& other) noexcept
        : type_(other.type_), handle_(std::exchange(other.handle_, nullptr)) {}
    OdbcHandle& operator=(OdbcHandle&& other) noexcept {
        if (this != &other) {
            reset();
            type_ = other.type_;
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }

    SQLHANDLE get() const { return handle_; }
    SQLSMALLINT type() const { return type_; }

    void reset() {
        if (handle_ != SQL_NULL_HANDLE) {
            SQLFreeHandle(type_, handle_);
            handle_ = SQL_NULL_HANDLE;
        }
    }

  private:
    SQLSMALLINT type_ = SQL_HANDLE_STMT;
    SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

}  // namespace fas::db
