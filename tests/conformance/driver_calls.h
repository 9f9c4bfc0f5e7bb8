#pragma once

// The FreeTDS driver's own ODBC entry points, past unixODBC. After the first statement of a
// batch fails, unixODBC answers SQLMoreResults with SQL_NO_DATA without asking the driver, which
// still holds the batch's later results; the product reads such a batch from the driver itself,
// and so does the recorder, to show all the driver has.

#include <sql.h>
#include <sqlext.h>

namespace conformance {

struct DriverCalls {
  decltype(&::SQLMoreResults) MoreResults;
  decltype(&::SQLNumResultCols) NumResultCols;
  decltype(&::SQLRowCount) RowCount;
  decltype(&::SQLDescribeCol) DescribeCol;
  decltype(&::SQLFetch) Fetch;
  decltype(&::SQLGetData) GetData;
  decltype(&::SQLGetDiagRec) GetDiagRec;
  decltype(&::SQLGetDiagField) GetDiagField;
};

// The calls of the libtdsodbc unixODBC has loaded; throws std::runtime_error when it has none.
const DriverCalls& FreeTdsCalls();

// The driver's handle for a statement of the driver manager.
SQLHSTMT DriverStatement(SQLHDBC dbc, SQLHSTMT stmt);

}  // namespace conformance
