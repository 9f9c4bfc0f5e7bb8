#pragma once

// What an ODBC client sees of one batch, in the order it sees it, as JSON: the server's
// messages, each row set (columns with their ODBC types, every row as text) and the counts
// of results without columns.

#include <nlohmann/json.hpp>

#include "driver_calls.h"
#include "sim/odbc_client.h"

namespace conformance {

// The server's messages of one handle's diagnostic records. Each is {"number", "sqlState",
// "msgState", "class", "message"}: SQL_DIAG_SS_MSGSTATE and SQL_DIAG_SS_SEVERITY only
// where the driver gives them, the message without the driver's "[vendor][component]" prefixes.
// Records the driver made itself (no server prefix) get "driver": true.
// Read with `calls`' diagnostic functions: the driver manager's or the driver's.
nlohmann::json ServerMessages(const DriverCalls& calls, SQLSMALLINT handleType, SQLHANDLE handle);

// Runs `sql` with SQLExecDirect, then walks every result with SQLMoreResults, in the driver.
nlohmann::json RecordBatch(sqlsim::testing::Connection& connection, const std::string& sql);

}  // namespace conformance
