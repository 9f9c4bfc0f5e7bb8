#pragma once

#include <memory>

#include "data/odbc/odbc_api.h"

namespace quorvane::data::odbc {

// The ODBC calls a result stream makes, either through the driver manager or straight into the
// driver. After the first statement of a batch fails, unixODBC answers every SQLMoreResults with
// SQL_NO_DATA without asking the driver, although the driver still holds the batch's later
// results; the rest of such a batch is read through the driver's own entry points instead.
struct StatementCalls {
  decltype(&::SQLMoreResults) MoreResults;
  decltype(&::SQLNumResultCols) NumResultCols;
  decltype(&::SQLRowCount) RowCount;
  decltype(&::SQLDescribeColW) DescribeColW;
  decltype(&::SQLFetch) Fetch;
  decltype(&::SQLGetData) GetData;
  decltype(&::SQLGetDiagRecW) GetDiagRecW;
  decltype(&::SQLGetDiagFieldW) GetDiagFieldW;
};

// The calls through the driver manager.
const StatementCalls& DriverManagerCalls();

// The driver behind one connection, reached past the driver manager.
class DriverEntryPoints {
 public:
  // Finds the driver library the driver manager loaded for `dbc` and its entry points; empty
  // when it cannot be reached that way (then such a batch ends at its failed statement).
  static std::shared_ptr<const DriverEntryPoints> For(SQLHDBC dbc);
  ~DriverEntryPoints();
  DriverEntryPoints(const DriverEntryPoints&) = delete;
  DriverEntryPoints& operator=(const DriverEntryPoints&) = delete;

  const StatementCalls& Calls() const { return calls_; }
  // The driver's own handle for a statement of the driver manager (SQL_DRIVER_HSTMT).
  static SQLHSTMT DriverStatement(SQLHDBC dbc, SQLHSTMT stmt);

 private:
  DriverEntryPoints() = default;
  void* library_ = nullptr;
  StatementCalls calls_{};
};

}  // namespace quorvane::data::odbc
