#pragma once

// A thin ODBC client for driving the real FreeTDS driver against the simulator.

#include <sql.h>
#include <sqlext.h>

#include <optional>
#include <string>
#include <vector>

namespace sqlsim::testing {

struct Diagnostic {
  std::string state;
  long native = 0;
  std::string message;
};

// "FreeTDS" when unixODBC knows the driver by that name, otherwise the driver library itself
// (SQLSIM_FREETDS_LIBRARY), so the tests do not depend on odbcinst registration.
// SQLSIM_ODBC_DRIVER in the environment overrides both.
const std::string& DriverKeyword();

std::string ConnectionString(int port, const std::string& user = "sa",
                             const std::string& password = "secret",
                             const std::string& tdsVersion = "7.4", const std::string& extra = "");

std::vector<Diagnostic> Diagnostics(SQLSMALLINT handleType, SQLHANDLE handle);
std::string Describe(const std::vector<Diagnostic>& diagnostics);

struct ColumnInfo {
  std::string name;
  SQLSMALLINT type = 0;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
  SQLSMALLINT nullable = 0;
};

using Cell = std::optional<std::string>;
using Rows = std::vector<std::vector<Cell>>;

class Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  SQLRETURN Connect(const std::string& connectionString);
  // Asks for a TDS packet size; call before Connect.
  void SetPacketSize(SQLULEN bytes);
  std::vector<Diagnostic> Diags() const { return Diagnostics(SQL_HANDLE_DBC, dbc_); }
  SQLHDBC Handle() const { return dbc_; }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

class Statement {
 public:
  explicit Statement(Connection& connection);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  SQLRETURN ExecDirect(const std::string& sql);
  SQLRETURN Prepare(const std::string& sql);
  SQLRETURN Execute();
  SQLRETURN Fetch();
  SQLRETURN MoreResults();
  SQLRETURN Cancel();
  SQLRETURN CloseCursor();
  SQLRETURN SetQueryTimeout(SQLULEN seconds);
  SQLSMALLINT NumResultCols();
  SQLLEN RowCount();
  ColumnInfo Describe(SQLUSMALLINT column);
  // The whole value as text (SQL_C_CHAR, UTF-8 with ClientCharset=UTF-8), however long.
  Cell Text(SQLUSMALLINT column);
  // Fetches every remaining row of the current result as text.
  Rows FetchAll();
  std::vector<Diagnostic> Diags() const { return Diagnostics(SQL_HANDLE_STMT, stmt_); }
  SQLHSTMT Handle() const { return stmt_; }

 private:
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

}  // namespace sqlsim::testing
