#include "odbc_client.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace sqlsim::testing {

const std::string& DriverKeyword() {
  static const std::string keyword = [] {
    if (const char* env = std::getenv("SQLSIM_ODBC_DRIVER"); env && *env) return std::string(env);
    SQLHENV env = SQL_NULL_HENV;
    bool registered = false;
    if (SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
      SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
      SQLCHAR name[256];
      SQLCHAR attributes[1024];
      SQLSMALLINT nameLength = 0;
      SQLSMALLINT attributesLength = 0;
      SQLUSMALLINT direction = SQL_FETCH_FIRST;
      while (SQL_SUCCEEDED(SQLDrivers(env, direction, name, sizeof name, &nameLength, attributes,
                                      sizeof attributes, &attributesLength))) {
        direction = SQL_FETCH_NEXT;
        if (std::strcmp(reinterpret_cast<char*>(name), "FreeTDS") == 0) registered = true;
      }
      SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    return registered ? std::string("FreeTDS") : std::string("{" SQLSIM_FREETDS_LIBRARY "}");
  }();
  return keyword;
}

std::string ConnectionString(int port, const std::string& user, const std::string& password,
                             const std::string& tdsVersion, const std::string& extra) {
  return "Driver=" + DriverKeyword() + ";Server=127.0.0.1;Port=" + std::to_string(port) +
         ";TDS_Version=" + tdsVersion + ";UID=" + user + ";PWD=" + password +
         ";Database=master;ClientCharset=UTF-8;Encryption=off" + (extra.empty() ? "" : ";" + extra);
}

std::vector<Diagnostic> Diagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
  std::vector<Diagnostic> out;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR message[2048] = {};
    SQLSMALLINT length = 0;
    const SQLRETURN rc =
        SQLGetDiagRec(handleType, handle, i, state, &native, message, sizeof message, &length);
    if (!SQL_SUCCEEDED(rc)) break;
    out.push_back({reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(message)});
  }
  return out;
}

std::string Describe(const std::vector<Diagnostic>& diagnostics) {
  std::string out;
  for (const auto& d : diagnostics) {
    out += "[" + d.state + "] (" + std::to_string(d.native) + ") " + d.message + "\n";
  }
  return out.empty() ? "(no diagnostics)" : out;
}

Connection::Connection() {
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) {
    throw std::runtime_error("SQLAllocHandle(ENV) failed");
  }
  SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_))) {
    throw std::runtime_error("SQLAllocHandle(DBC) failed");
  }
  SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
}

Connection::~Connection() {
  if (connected_) SQLDisconnect(dbc_);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

void Connection::SetPacketSize(SQLULEN bytes) {
  SQLSetConnectAttr(dbc_, SQL_ATTR_PACKET_SIZE, reinterpret_cast<SQLPOINTER>(bytes), 0);
}

SQLRETURN Connection::Connect(const std::string& connectionString) {
  SQLCHAR out[1024];
  SQLSMALLINT outLength = 0;
  const SQLRETURN rc = SQLDriverConnect(
      dbc_, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(connectionString.c_str())),
      SQL_NTS, out, sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
  connected_ = SQL_SUCCEEDED(rc);
  return rc;
}

Statement::Statement(Connection& connection) {
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection.Handle(), &stmt_))) {
    throw std::runtime_error("SQLAllocHandle(STMT) failed: " +
                             sqlsim::testing::Describe(connection.Diags()));
  }
}

Statement::~Statement() {
  SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
}

SQLRETURN Statement::ExecDirect(const std::string& sql) {
  return SQLExecDirect(stmt_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
                       static_cast<SQLINTEGER>(sql.size()));
}

SQLRETURN Statement::Prepare(const std::string& sql) {
  return SQLPrepare(stmt_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
                    static_cast<SQLINTEGER>(sql.size()));
}

SQLRETURN Statement::Execute() {
  return SQLExecute(stmt_);
}
SQLRETURN Statement::Fetch() {
  return SQLFetch(stmt_);
}
SQLRETURN Statement::MoreResults() {
  return SQLMoreResults(stmt_);
}
SQLRETURN Statement::Cancel() {
  return SQLCancel(stmt_);
}
SQLRETURN Statement::CloseCursor() {
  return SQLFreeStmt(stmt_, SQL_CLOSE);
}

SQLRETURN Statement::SetQueryTimeout(SQLULEN seconds) {
  return SQLSetStmtAttr(stmt_, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(seconds), 0);
}

SQLSMALLINT Statement::NumResultCols() {
  SQLSMALLINT n = -1;
  SQLNumResultCols(stmt_, &n);
  return n;
}

SQLLEN Statement::RowCount() {
  SQLLEN n = -2;
  SQLRowCount(stmt_, &n);
  return n;
}

ColumnInfo Statement::Describe(SQLUSMALLINT column) {
  SQLCHAR name[256] = {};
  SQLSMALLINT nameLength = 0;
  ColumnInfo info;
  SQLDescribeCol(stmt_, column, name, sizeof name, &nameLength, &info.type, &info.size,
                 &info.digits, &info.nullable);
  info.name = reinterpret_cast<char*>(name);
  return info;
}

Cell Statement::Text(SQLUSMALLINT column) {
  std::string value;
  char buffer[1024];
  while (true) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(stmt_, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) {
      throw std::runtime_error("SQLGetData failed: " + sqlsim::testing::Describe(Diags()));
    }
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    const bool truncated =
        indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) >= sizeof buffer;
    value.append(buffer, truncated ? sizeof buffer - 1 : static_cast<std::size_t>(indicator));
    if (rc == SQL_SUCCESS) break;
  }
  return value;
}

Rows Statement::FetchAll() {
  Rows rows;
  const SQLSMALLINT columns = NumResultCols();
  while (true) {
    const SQLRETURN rc = Fetch();
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) {
      throw std::runtime_error("SQLFetch failed: " + sqlsim::testing::Describe(Diags()));
    }
    std::vector<Cell> row;
    for (SQLSMALLINT c = 1; c <= columns; ++c) row.push_back(Text(static_cast<SQLUSMALLINT>(c)));
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace sqlsim::testing
