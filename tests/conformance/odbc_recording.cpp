#include "odbc_recording.h"

#include <optional>

namespace conformance {
namespace {

using nlohmann::json;

// SQL Server's own ODBC diagnostic fields (odbcss.h).
constexpr SQLSMALLINT kDiagMessageState = -1150;
constexpr SQLSMALLINT kDiagSeverity = -1151;

std::string TypeName(SQLSMALLINT type) {
  switch (type) {
    case SQL_CHAR:
      return "SQL_CHAR";
    case SQL_VARCHAR:
      return "SQL_VARCHAR";
    case SQL_LONGVARCHAR:
      return "SQL_LONGVARCHAR";
    case SQL_WCHAR:
      return "SQL_WCHAR";
    case SQL_WVARCHAR:
      return "SQL_WVARCHAR";
    case SQL_WLONGVARCHAR:
      return "SQL_WLONGVARCHAR";
    case SQL_DECIMAL:
      return "SQL_DECIMAL";
    case SQL_NUMERIC:
      return "SQL_NUMERIC";
    case SQL_SMALLINT:
      return "SQL_SMALLINT";
    case SQL_INTEGER:
      return "SQL_INTEGER";
    case SQL_REAL:
      return "SQL_REAL";
    case SQL_FLOAT:
      return "SQL_FLOAT";
    case SQL_DOUBLE:
      return "SQL_DOUBLE";
    case SQL_BIT:
      return "SQL_BIT";
    case SQL_TINYINT:
      return "SQL_TINYINT";
    case SQL_BIGINT:
      return "SQL_BIGINT";
    case SQL_BINARY:
      return "SQL_BINARY";
    case SQL_VARBINARY:
      return "SQL_VARBINARY";
    case SQL_LONGVARBINARY:
      return "SQL_LONGVARBINARY";
    case SQL_TYPE_DATE:
      return "SQL_TYPE_DATE";
    case SQL_TYPE_TIME:
      return "SQL_TYPE_TIME";
    case SQL_TYPE_TIMESTAMP:
      return "SQL_TYPE_TIMESTAMP";
    case SQL_GUID:
      return "SQL_GUID";
    case -150:
      return "SQL_SS_VARIANT";
    case -154:
      return "SQL_SS_TIME2";
    case -155:
      return "SQL_SS_TIMESTAMPOFFSET";
    default:
      return "ODBC type " + std::to_string(type);
  }
}

// "[FreeTDS][SQL Server]text" -> "text"; false when the record has no server prefix.
bool StripPrefixes(std::string& message) {
  bool server = false;
  while (!message.empty() && message.front() == '[') {
    const std::size_t close = message.find(']');
    if (close == std::string::npos) break;
    server = server || message.compare(0, close + 1, "[SQL Server]") == 0;
    message.erase(0, close + 1);
  }
  return server;
}

// One statement as the driver holds it.
class HeldStatement {
 public:
  HeldStatement(sqlsim::testing::Connection& connection, sqlsim::testing::Statement& statement)
      : calls_(FreeTdsCalls()),
        stmt_(conformance::DriverStatement(connection.Handle(), statement.Handle())) {}

  const DriverCalls& Calls() const { return calls_; }
  SQLHSTMT Handle() const { return stmt_; }

  SQLSMALLINT NumResultCols() const {
    SQLSMALLINT n = 0;
    return SQL_SUCCEEDED(calls_.NumResultCols(stmt_, &n)) ? n : 0;
  }
  SQLLEN RowCount() const {
    SQLLEN n = -1;
    return SQL_SUCCEEDED(calls_.RowCount(stmt_, &n)) ? n : -1;
  }

  json Columns(SQLSMALLINT count) const {
    json columns = json::array();
    for (SQLUSMALLINT c = 1; c <= count; ++c) {
      SQLCHAR name[256] = {};
      SQLSMALLINT nameLength = 0;
      SQLSMALLINT type = 0;
      SQLULEN size = 0;
      SQLSMALLINT digits = 0;
      SQLSMALLINT nullable = 0;
      calls_.DescribeCol(stmt_, c, name, sizeof name, &nameLength, &type, &size, &digits,
                         &nullable);
      columns.push_back({{"name", reinterpret_cast<char*>(name)},
                         {"type", TypeName(type)},
                         {"size", size},
                         {"digits", digits},
                         {"nullable", nullable == SQL_NULLABLE}});
    }
    return columns;
  }

  // The whole value as text (SQL_C_CHAR), however long.
  json Text(SQLUSMALLINT column) const {
    std::string value;
    char buffer[1024];
    while (true) {
      SQLLEN indicator = 0;
      const SQLRETURN rc =
          calls_.GetData(stmt_, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
      if (rc == SQL_NO_DATA) break;
      if (!SQL_SUCCEEDED(rc)) return json{{"failed", "SQLGetData " + std::to_string(rc)}};
      if (indicator == SQL_NULL_DATA) return nullptr;
      const bool truncated =
          indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) >= sizeof buffer;
      value.append(buffer, truncated ? sizeof buffer - 1 : static_cast<std::size_t>(indicator));
      // FreeTDS 1.3.17 answers a sql_variant with 01004 (truncated) for ever, whole as it is.
      if (rc == SQL_SUCCESS || !truncated) break;
    }
    return value;
  }

 private:
  const DriverCalls& calls_;
  SQLHSTMT stmt_;
};

void Append(json& items, json more) {
  for (json& item : more) items.push_back(std::move(item));
}

// The row set the statement stands on, then what the fetch that ended it reported.
void RecordRows(const HeldStatement& statement, SQLSMALLINT columnCount, json& items) {
  json rows = json::array();
  SQLRETURN rc = SQL_SUCCESS;
  while (true) {
    rc = statement.Calls().Fetch(statement.Handle());
    if (rc == SQL_NO_DATA || !SQL_SUCCEEDED(rc)) break;
    json row = json::array();
    for (SQLUSMALLINT c = 1; c <= columnCount; ++c) row.push_back(statement.Text(c));
    rows.push_back(std::move(row));
  }
  const std::size_t rowCount = rows.size();
  items.push_back({{"rows",
                    {{"columns", statement.Columns(columnCount)},
                     {"rowCount", rowCount},
                     {"data", std::move(rows)}}}});
  if (rc != SQL_NO_DATA) {
    Append(items, ServerMessages(statement.Calls(), SQL_HANDLE_STMT, statement.Handle()));
  }
}

}  // namespace

json ServerMessages(const DriverCalls& calls, SQLSMALLINT handleType, SQLHANDLE handle) {
  json out = json::array();
  for (SQLSMALLINT i = 1;; ++i) {
    SQLCHAR sqlState[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR text[4096] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(calls.GetDiagRec(handleType, handle, i, sqlState, &native, text, sizeof text,
                                        &length))) {
      break;
    }
    auto field = [&](SQLSMALLINT id) -> std::optional<SQLINTEGER> {
      SQLINTEGER value = 0;
      if (!SQL_SUCCEEDED(
              calls.GetDiagField(handleType, handle, i, id, &value, sizeof value, nullptr))) {
        return std::nullopt;
      }
      return value;
    };
    std::string message = reinterpret_cast<char*>(text);
    const std::string state = reinterpret_cast<char*>(sqlState);
    json record = {{"number", native}, {"sqlState", state}};
    if (const auto v = field(kDiagMessageState)) record["msgState"] = *v;
    if (const auto v = field(kDiagSeverity)) record["class"] = *v;
    if (!StripPrefixes(message)) record["driver"] = true;
    record["message"] = message;
    out.push_back(std::move(record));
  }
  return out;
}

json RecordBatch(sqlsim::testing::Connection& connection, const std::string& sql) {
  sqlsim::testing::Statement managed(connection);
  json items = json::array();
  SQLRETURN rc = managed.ExecDirect(sql);
  const HeldStatement statement(connection, managed);
  // Each call's messages come before the result it lands on. After an error the driver may
  // already stand on the next row set, so where it stands is asked before moving on.
  while (rc != SQL_NO_DATA) {
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && rc != SQL_ERROR) {
      items.push_back({{"failed", "ODBC return code " + std::to_string(rc)}});
      break;
    }
    Append(items, ServerMessages(statement.Calls(), SQL_HANDLE_STMT, statement.Handle()));
    const SQLSMALLINT columns = statement.NumResultCols();
    if (columns > 0) {
      RecordRows(statement, columns, items);
    } else if (rc != SQL_ERROR) {
      if (const SQLLEN count = statement.RowCount(); count >= 0)
        items.push_back({{"count", count}});
    }
    rc = statement.Calls().MoreResults(statement.Handle());
  }
  return {{"sql", sql}, {"items", std::move(items)}};
}

}  // namespace conformance
