#pragma once

#include <utility>

#include "data/odbc/odbc_api.h"

namespace quorvane::data::odbc {

// Owns one ODBC handle of kind `Type` and frees it exactly once. A connection handle must be
// disconnected before it is freed; its owner does that (see OdbcConnection).
template <SQLSMALLINT Type>
class Handle {
 public:
  Handle() = default;
  ~Handle() { Reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, SQL_NULL_HANDLE)) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, SQL_NULL_HANDLE);
    }
    return *this;
  }

  // Allocates a handle under `parent` (SQL_NULL_HANDLE for an environment). Returns the ODBC
  // return code; on failure the handle stays empty.
  SQLRETURN Allocate(SQLHANDLE parent) {
    Reset();
    SQLHANDLE created = SQL_NULL_HANDLE;
    const SQLRETURN rc = SQLAllocHandle(Type, parent, &created);
    if (SQL_SUCCEEDED(rc)) handle_ = created;
    return rc;
  }

  void Reset() noexcept {
    if (handle_ != SQL_NULL_HANDLE) {
      SQLFreeHandle(Type, handle_);
      handle_ = SQL_NULL_HANDLE;
    }
  }

  SQLHANDLE Get() const { return handle_; }
  explicit operator bool() const { return handle_ != SQL_NULL_HANDLE; }
  static constexpr SQLSMALLINT kType = Type;

 private:
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

using EnvHandle = Handle<SQL_HANDLE_ENV>;
using DbcHandle = Handle<SQL_HANDLE_DBC>;
using StmtHandle = Handle<SQL_HANDLE_STMT>;

}  // namespace quorvane::data::odbc
