// End to end: the real FreeTDS ODBC driver, through unixODBC, against the simulator on
// loopback.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "odbc_client.h"
#include "sqlserver_sim/server.h"

namespace sqlsim {
namespace {

using namespace std::chrono_literals;
using testing::Cell;
using testing::Connection;
using testing::ConnectionString;
using testing::Describe;
using testing::Rows;
using testing::Statement;
using Clock = std::chrono::steady_clock;

const char* const kCjk = "\xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80 \xF0\xA0\xAE\xB7";  // 中文 😀 𠮷

nlohmann::json RowSet(nlohmann::json columns, nlohmann::json data) {
  return {{"rows", {{"columns", std::move(columns)}, {"data", std::move(data)}}}};
}

nlohmann::json Col(const std::string& name, const std::string& type, bool nullable = true) {
  return {{"name", name}, {"type", type}, {"nullable", nullable}};
}

std::string LongText(std::size_t n) {
  std::string s;
  s.reserve(n + 8);
  while (s.size() < n)
    s += "abc\xC3\xA9"
         "0123456789";  // keeps a 2-byte UTF-8 char in the mix
  return s;
}

// The columns of the type round trip, with the text FreeTDS gives back for each.
struct TypeCase {
  const char* type;
  nlohmann::json value;
  const char* expected;  // nullptr: NULL
  SQLSMALLINT odbcType;
};

const std::vector<TypeCase>& TypeCases() {
  static const std::vector<TypeCase> cases = {
      {"int", 2147483647, "2147483647", SQL_INTEGER},
      {"bigint", "-9223372036854775808", "-9223372036854775808", SQL_BIGINT},
      {"smallint", -32768, "-32768", SQL_SMALLINT},
      {"tinyint", 255, "255", SQL_TINYINT},
      {"bit", true, "1", SQL_BIT},
      {"decimal(38,10)", "-1234567890123456789012345678.9012345678",
       "-1234567890123456789012345678.9012345678", SQL_NUMERIC},
      {"numeric(38,0)", "99999999999999999999999999999999999999",
       "99999999999999999999999999999999999999", SQL_NUMERIC},
      {"money", "-922337203685477.5808", "-922337203685477.5808", SQL_DECIMAL},
      {"datetime", "1850-07-04 13:14:15.997", "1850-07-04 13:14:15.997", SQL_TYPE_TIMESTAMP},
      {"datetime2(7)", "2024-02-29 23:59:59.1234567", "2024-02-29 23:59:59.1234567",
       SQL_TYPE_TIMESTAMP},
      {"date", "2024-02-29", "2024-02-29", SQL_TYPE_DATE},
      {"uniqueidentifier", "6F9619FF-8B86-D011-B42D-00C04FC964FF",
       "6F9619FF-8B86-D011-B42D-00C04FC964FF", SQL_GUID},
      {"char(5)", "ab", "ab   ", SQL_CHAR},
      {"varchar(20)", "caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC", SQL_VARCHAR},
      {"nvarchar(50)", kCjk, kCjk, SQL_WVARCHAR},
      {"nchar(3)", "\xE4\xB8\xAD", "\xE4\xB8\xAD  ", SQL_WCHAR},
      {"varbinary(10)", "0xDEADBEEF00", "deadbeef00", SQL_VARBINARY},
      {"ntext", kCjk, kCjk, SQL_WLONGVARCHAR},
      {"text", "plain text", "plain text", SQL_LONGVARCHAR},
      {"nvarchar(max)", kCjk, kCjk, SQL_WVARCHAR},
      {"varchar(max)", "v\xC3\xA9", "v\xC3\xA9", SQL_VARCHAR},
      {"varbinary(max)", "0x0102", "0102", SQL_VARBINARY},
      {"int", nullptr, nullptr, SQL_INTEGER},
      {"nvarchar(10)", nullptr, nullptr, SQL_WVARCHAR},
      {"nvarchar(max)", nullptr, nullptr, SQL_WVARCHAR},
      {"datetime2(3)", nullptr, nullptr, SQL_TYPE_TIMESTAMP},
      {"decimal(9,2)", nullptr, nullptr, SQL_NUMERIC},
  };
  return cases;
}

nlohmann::json TestScenario() {
  nlohmann::json typeColumns = nlohmann::json::array();
  nlohmann::json typeRow = nlohmann::json::array();
  int i = 0;
  for (const auto& c : TypeCases()) {
    typeColumns.push_back(Col("c" + std::to_string(i++), c.type));
    typeRow.push_back(c.value);
  }
  nlohmann::json bigRows = nlohmann::json::array();
  for (int r = 0; r < 2000; ++r) bigRows.push_back({r, "row " + std::to_string(r)});

  const nlohmann::json one = RowSet({Col("n", "int", false)}, {{1}});
  nlohmann::json s = {
      {"server", {{"name", "SIMTEST"}, {"version", "15.0.2000.5"}}},
      {"logins",
       {{{"name", "sa"}, {"password", "secret"}}, {{"name", "odd"}, {"password", "p;w={d}\"x y"}}}},
      {"batches",
       {
           {{"sql", "select @@servername"},
            {"results", {RowSet({Col("", "nvarchar(128)")}, {{"SIMTEST"}})}}},
           {{"sql", "select types"}, {"results", {RowSet(typeColumns, {typeRow})}}},
           {{"sql", "select not null types"},
            {"results",
             {RowSet(
                 {Col("ti", "tinyint", false), Col("si", "smallint", false), Col("i", "int", false),
                  Col("bi", "bigint", false), Col("b", "bit", false), Col("m", "money", false),
                  Col("sm", "smallmoney", false), Col("dt", "datetime", false),
                  Col("sdt", "smalldatetime", false), Col("t", "time(3)", false),
                  Col("f", "float", false), Col("r", "real", false)},
                 {{0, -1, -2147483647 - 1, "9223372036854775807", false, "12.34", "-1.5",
                   "2000-01-01 00:00:00", "2079-06-06 23:59:00", "13:14:15.123", 0.5, 2}})}}},
           {{"sql", "select numbers"},
            {"results", {RowSet({Col("f", "float"), Col("r", "real")}, {{3.25, -1.5}})}}},
           {{"sql", "two sets"},
            {"results",
             {RowSet({Col("a", "int")}, {{1}, {2}}), RowSet({Col("b", "nvarchar(5)")}, {{"x"}})}}},
           {{"sql", "error after first"},
            {"results",
             {RowSet({Col("a", "int")}, {{7}}),
              {{"error",
                {{"number", 942},
                 {"class", 14},
                 {"state", 4},
                 {"text", "Database 'ghost' cannot be opened because it is offline."}}}}}}},
           {{"sql", "slow"}, {"results", {{{"delay_ms", 20000}}, one}}},
           {{"sql", "a bit slow"}, {"results", {{{"delay_ms", 300}}, one}}},
           {{"sql", "one second"}, {"results", {{{"delay_ms", 1000}}, one}}},
           {{"sql", "rows then slow"}, {"results", {one, {{"delay_ms", 200}}}}},
           {{"sql", "drop me"}, {"results", {one, {{"drop", true}}}}},
           {{"sql", "big"},
            {"results",
             {RowSet({Col("id", "int"), Col("name", "nvarchar(100)")}, bigRows),
              RowSet({Col("blob", "nvarchar(max)")}, {{LongText(100000)}})}}},
           {{"sql", "exec dbo.rows_and_count"},
            {"results", {RowSet({Col("a", "int")}, {{1}}), {{"count", 5}}}}},
           {{"sql", "exec dbo.rows_error_rows"},
            {"results",
             {RowSet({Col("a", "int")}, {{1}, {2}}),
              {{"error", {{"number", 976}, {"class", 14}, {"text", "not accessible"}}}},
              RowSet({Col("b", "int")}, {{3}})}}},
           {{"sql", "select n from t where n = @P1 and s = @P2"}, {"results", {one}}},
           {{"sql", "exec dbo.with_param 9, N'it''s'"}, {"results", {one}}},
           {{"sql", "count then rows"}, {"results", {{{"count", 3}}, one}}},
           {{"sql", "info then rows"},
            {"results",
             {{{"info", {{"number", 50000}, {"class", 0}, {"text", "just so you know"}}}}, one}}},
           {{"sql", "nothing"}, {"results", nlohmann::json::array()}},
           {{"pattern", "select '[a-z]+' as long_batch"},
            {"results", {RowSet({Col("ok", "int")}, {{1}})}}},
       }},
  };
  return s;
}

class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override { StartServer(TestScenario().dump()); }

  void StartServer(const std::string& scenario) {
    server_ = std::make_unique<Server>(scenario);
    server_->Start();
    ASSERT_GT(server_->Port(), 0);
  }

  std::string Cs(const std::string& user = "sa", const std::string& password = "secret",
                 const std::string& tds = "7.4", const std::string& extra = "") {
    return ConnectionString(server_->Port(), user, password, tds, extra);
  }

  void Connect(Connection& c, const std::string& tds = "7.4", const std::string& extra = "") {
    const SQLRETURN rc = c.Connect(Cs("sa", "secret", tds, extra));
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Describe(c.Diags());
  }

  std::unique_ptr<Server> server_;
};

Rows Query(Connection& c, const std::string& sql) {
  Statement st(c);
  const SQLRETURN rc = st.ExecDirect(sql);
  EXPECT_TRUE(SQL_SUCCEEDED(rc)) << sql << ": " << Describe(st.Diags());
  if (!SQL_SUCCEEDED(rc)) return {};
  return st.FetchAll();
}

// ---- logins ---------------------------------------------------------------------------------

TEST_F(SimulatorTest, LoginSucceedsAndAnswersABatch) {
  Connection c;
  Connect(c);
  EXPECT_EQ(Query(c, "select @@servername"), (Rows{{Cell("SIMTEST")}}));
  EXPECT_EQ(server_->Batches(), std::vector<std::string>{"select @@servername"});
}

TEST_F(SimulatorTest, WrongPasswordIsRefusedWith18456) {
  Connection c;
  EXPECT_EQ(c.Connect(Cs("sa", "wrong")), SQL_ERROR);
  const auto diags = c.Diags();
  ASSERT_FALSE(diags.empty());
  bool found = false;
  for (const auto& d : diags) {
    if (d.native == 18456) {
      found = true;
      EXPECT_NE(d.message.find("Login failed for user 'sa'."), std::string::npos) << d.message;
    }
  }
  EXPECT_TRUE(found) << Describe(diags);
}

TEST_F(SimulatorTest, PasswordWithSeparatorsAndBracesArrivesIntact) {
  Connection c;
  const SQLRETURN rc = c.Connect(Cs("odd", "{p;w={d}\"x y}"));
  EXPECT_TRUE(SQL_SUCCEEDED(rc)) << Describe(c.Diags());
}

TEST(SimulatorFaults, RefuseLoginsRefusesEveryone) {
  Server server(
      R"({"logins": [{"name": "sa", "password": "secret"}], "faults": {"refuseLogins": true}})");
  server.Start();
  Connection c;
  EXPECT_EQ(c.Connect(ConnectionString(server.Port())), SQL_ERROR);
  const std::string all = Describe(c.Diags());
  EXPECT_NE(all.find("(18456) "), std::string::npos) << all;
  EXPECT_NE(all.find("Login failed for user 'sa'."), std::string::npos) << all;
}

// FreeTDS turns UID=DOMAIN\user into an NTLM login; the simulator checks the NTLMv2 answer
// against the scenario's password for that Windows login.
TEST(SimulatorWindowsLogin, NtlmAnswerIsCheckedAgainstTheScenario) {
  Server server(R"J({"logins": [{"name": "sa", "password": "secret"},
                                {"name": "QUORVANE\\alice", "password": "Pa55 w0rd!"}],
                     "batches": [{"sql": "select 1", "results": [{"count": 1}]}]})J");
  server.Start();
  {
    Connection c;
    ASSERT_TRUE(SQL_SUCCEEDED(
        c.Connect(ConnectionString(server.Port(), "QUORVANE\\alice", "{Pa55 w0rd!}"))))
        << Describe(c.Diags());
    Statement st(c);
    EXPECT_EQ(st.ExecDirect("select 1"), SQL_SUCCESS) << Describe(st.Diags());
  }
  {
    Connection c;
    EXPECT_EQ(c.Connect(ConnectionString(server.Port(), "quorvane\\ALICE", "{Pa55 w0rd!}")),
              SQL_SUCCESS)
        << "Windows login names ignore case: " << Describe(c.Diags());
  }
  for (const auto& [user, password] :
       {std::pair<std::string, std::string>{"QUORVANE\\alice", "wrong"},
        {"QUORVANE\\bob", "{Pa55 w0rd!}"},
        {"OTHER\\alice", "{Pa55 w0rd!}"}}) {
    Connection c;
    EXPECT_EQ(c.Connect(ConnectionString(server.Port(), user, password)), SQL_ERROR) << user;
    const std::string diags = Describe(c.Diags());
    EXPECT_NE(diags.find("(18456) "), std::string::npos) << diags;
    EXPECT_NE(diags.find("Login failed for user '" + user.substr(0, user.find('\\')) + "\\"),
              std::string::npos)
        << diags;
  }
}

// ---- values ---------------------------------------------------------------------------------

void CheckTypes(Statement& st) {
  const auto& cases = TypeCases();
  ASSERT_EQ(st.NumResultCols(), static_cast<SQLSMALLINT>(cases.size()));
  ASSERT_EQ(st.Fetch(), SQL_SUCCESS) << Describe(st.Diags());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto column = static_cast<SQLUSMALLINT>(i + 1);
    const Cell value = st.Text(column);
    if (cases[i].expected == nullptr) {
      EXPECT_FALSE(value.has_value()) << cases[i].type << " should be NULL, got " << *value;
    } else {
      EXPECT_EQ(value, Cell(cases[i].expected)) << cases[i].type;
    }
  }
  EXPECT_EQ(st.Fetch(), SQL_NO_DATA);
  EXPECT_EQ(st.MoreResults(), SQL_NO_DATA);
}

TEST_F(SimulatorTest, TypesRoundTripAtTds74) {
  Connection c;
  Connect(c);
  Statement st(c);
  ASSERT_EQ(st.ExecDirect("select types"), SQL_SUCCESS) << Describe(st.Diags());
  const auto& cases = TypeCases();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(st.Describe(static_cast<SQLUSMALLINT>(i + 1)).type, cases[i].odbcType)
        << cases[i].type;
  }
  EXPECT_EQ(st.Describe(1).name, "c0");
  CheckTypes(st);
}

TEST_F(SimulatorTest, TypesRoundTripForOlderProtocolVersions) {
  // 7.1 gets (max) types as ntext/text/image and 7.1/7.2 get date types as nvarchar; the text
  // the application reads must not change.
  for (const char* tds : {"7.1", "7.2", "7.3"}) {
    SCOPED_TRACE(tds);
    Connection c;
    Connect(c, tds);
    Statement st(c);
    ASSERT_EQ(st.ExecDirect("select types"), SQL_SUCCESS) << Describe(st.Diags());
    CheckTypes(st);
  }
}

TEST_F(SimulatorTest, NotNullColumnsUseTheFixedWireTypes) {
  for (const char* tds : {"7.1", "7.4"}) {
    SCOPED_TRACE(tds);
    Connection c;
    Connect(c, tds);
    const Rows rows = Query(c, "select not null types");
    ASSERT_EQ(rows.size(), 1u);
    const auto& r = rows[0];
    ASSERT_EQ(r.size(), 12u);
    EXPECT_EQ(r[0], Cell("0"));
    EXPECT_EQ(r[1], Cell("-1"));
    EXPECT_EQ(r[2], Cell("-2147483648"));
    EXPECT_EQ(r[3], Cell("9223372036854775807"));
    EXPECT_EQ(r[4], Cell("0"));
    EXPECT_EQ(r[5], Cell("12.3400"));
    EXPECT_EQ(r[6], Cell("-1.5000"));
    EXPECT_EQ(r[7], Cell("2000-01-01 00:00:00.000"));
    EXPECT_EQ(r[8], Cell("2079-06-06 23:59:00"));  // FreeTDS prints no fraction here
    EXPECT_EQ(r[9], Cell("13:14:15.123"));
    EXPECT_DOUBLE_EQ(std::stod(r[10].value()), 0.5);
    EXPECT_DOUBLE_EQ(std::stod(r[11].value()), 2.0);
  }
}

TEST_F(SimulatorTest, FloatingPointValues) {
  Connection c;
  Connect(c);
  const Rows rows = Query(c, "select numbers");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_DOUBLE_EQ(std::stod(rows[0][0].value()), 3.25);
  EXPECT_DOUBLE_EQ(std::stod(rows[0][1].value()), -1.5);
}

TEST_F(SimulatorTest, LargeResultsSpanManyPacketsAtAnyPacketSize) {
  for (const SQLULEN packetSize : {0, 512, 32767}) {
    SCOPED_TRACE(packetSize);
    Connection c;
    if (packetSize != 0) c.SetPacketSize(packetSize);
    Connect(c);
    Statement st(c);
    ASSERT_EQ(st.ExecDirect("big"), SQL_SUCCESS) << Describe(st.Diags());
    const Rows rows = st.FetchAll();
    ASSERT_EQ(rows.size(), 2000u);
    EXPECT_EQ(rows[1999][0], Cell("1999"));
    EXPECT_EQ(rows[1999][1], Cell("row 1999"));
    ASSERT_EQ(st.MoreResults(), SQL_SUCCESS);
    const Rows blob = st.FetchAll();
    ASSERT_EQ(blob.size(), 1u);
    EXPECT_EQ(blob[0][0], Cell(LongText(100000)));
  }
}

TEST_F(SimulatorTest, LongBatchesArriveWhole) {
  for (const SQLULEN packetSize : {0, 512}) {
    SCOPED_TRACE(packetSize);
    Connection c;
    if (packetSize != 0) c.SetPacketSize(packetSize);
    Connect(c);
    const std::string sql = "select '" + std::string(30000, 'q') + "' as long_batch";
    EXPECT_EQ(Query(c, sql), (Rows{{Cell("1")}}));
    ASSERT_FALSE(server_->Batches().empty());
    EXPECT_EQ(server_->Batches().back(), sql);
  }
}

// ---- result shapes --------------------------------------------------------------------------

TEST_F(SimulatorTest, TwoRowSets) {
  Connection c;
  Connect(c);
  Statement st(c);
  ASSERT_EQ(st.ExecDirect("two sets"), SQL_SUCCESS) << Describe(st.Diags());
  EXPECT_EQ(st.FetchAll(), (Rows{{Cell("1")}, {Cell("2")}}));
  ASSERT_EQ(st.MoreResults(), SQL_SUCCESS);
  EXPECT_EQ(st.Describe(1).name, "b");
  EXPECT_EQ(st.FetchAll(), (Rows{{Cell("x")}}));
  EXPECT_EQ(st.MoreResults(), SQL_NO_DATA);
}

TEST_F(SimulatorTest, ErrorAfterTheFirstRowSet) {
  Connection c;
  Connect(c);
  Statement st(c);
  ASSERT_EQ(st.ExecDirect("error after first"), SQL_SUCCESS) << Describe(st.Diags());
  EXPECT_EQ(st.FetchAll(), (Rows{{Cell("7")}}));
  ASSERT_EQ(st.MoreResults(), SQL_ERROR);
  const auto diags = st.Diags();
  ASSERT_FALSE(diags.empty());
  EXPECT_EQ(diags[0].native, 942);
  EXPECT_NE(diags[0].message.find("Database 'ghost' cannot be opened because it is offline."),
            std::string::npos)
      << diags[0].message;
  EXPECT_EQ(st.MoreResults(), SQL_NO_DATA);
  // The connection is still usable.
  EXPECT_EQ(Query(c, "select @@servername"), (Rows{{Cell("SIMTEST")}}));
}

TEST_F(SimulatorTest, ProcedureResultsHideInProcedureCounts) {
  Connection c;
  Connect(c);
  Statement st(c);
  ASSERT_EQ(st.ExecDirect("exec dbo.rows_and_count"), SQL_SUCCESS) << Describe(st.Diags());
  EXPECT_EQ(st.FetchAll(), (Rows{{Cell("1")}}));
  EXPECT_EQ(st.MoreResults(), SQL_NO_DATA);
}

// The shape the per-database walks of the report produce: an error between row sets, inside
// a procedure, reached by plain and by prepared execution.
TEST_F(SimulatorTest, ErrorBetweenRowSetsOfAProcedure) {
  Connection c;
  Connect(c);
  for (const bool prepared : {false, true}) {
    SCOPED_TRACE(prepared ? "prepared" : "direct");
    Statement st(c);
    const SQLRETURN rc = prepared ? (st.Prepare("exec dbo.rows_error_rows"), st.Execute())
                                  : st.ExecDirect("exec dbo.rows_error_rows");
    ASSERT_EQ(rc, SQL_SUCCESS) << Describe(st.Diags());
    EXPECT_EQ(st.FetchAll(), (Rows{{Cell("1")}, {Cell("2")}}));
    ASSERT_EQ(st.MoreResults(), SQL_ERROR);
    const auto diags = st.Diags();
    ASSERT_FALSE(diags.empty());
    EXPECT_EQ(diags[0].native, 976);
    ASSERT_EQ(st.MoreResults(), SQL_SUCCESS) << Describe(st.Diags());
    EXPECT_EQ(st.FetchAll(), (Rows{{Cell("3")}}));
    EXPECT_EQ(st.MoreResults(), SQL_NO_DATA);
  }
}

TEST_F(SimulatorTest, CatalogChangesAndTransactionsAreAcknowledged) {
  Connection c;
  Connect(c);
  const SQLRETURN use =
      SQLSetConnectAttr(c.Handle(), SQL_ATTR_CURRENT_CATALOG, const_cast<char*>("msdb"), SQL_NTS);
  EXPECT_TRUE(SQL_SUCCEEDED(use)) << Describe(c.Diags());
  SQLCHAR catalog[64] = {};
  SQLINTEGER length = 0;
  SQLGetConnectAttr(c.Handle(), SQL_ATTR_CURRENT_CATALOG, catalog, sizeof catalog, &length);
  EXPECT_STREQ(reinterpret_cast<char*>(catalog), "msdb");
  ASSERT_TRUE(SQL_SUCCEEDED(SQLSetConnectAttr(c.Handle(), SQL_ATTR_AUTOCOMMIT,
                                              reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)))
      << Describe(c.Diags());
  EXPECT_EQ(Query(c, "select @@servername"), (Rows{{Cell("SIMTEST")}}));
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, c.Handle(), SQL_COMMIT), SQL_SUCCESS) << Describe(c.Diags());
  EXPECT_EQ(Query(c, "select @@servername"), (Rows{{Cell("SIMTEST")}}));
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, c.Handle(), SQL_ROLLBACK), SQL_SUCCESS)
      << Describe(c.Diags());
}

TEST_F(SimulatorTest, CountBeforeRowsIsItsOwnResult) {
  Connection c;
  Connect(c);
  Statement st(c);
  ASSERT_EQ(st.ExecDirect("count then rows"), SQL_SUCCESS) << Describe(st.Diags());
  EXPECT_EQ(st.NumResultCols(), 0);
  EXPECT_EQ(st.RowCount(), 3);
  ASSERT_EQ(st.MoreResults(), SQL_SUCCESS);
  EXPECT_EQ(st.FetchAll(), (Rows{{Cell("1")}}));
}

TEST_F(SimulatorTest, InfoMessagesComeWithTheResult) {
  Connection c;
  Connect(c);
  Statement st(c);
  ASSERT_EQ(st.ExecDirect("info then rows"), SQL_SUCCESS_WITH_INFO);
  const auto diags = st.Diags();
  ASSERT_FALSE(diags.empty());
  EXPECT_EQ(diags[0].native, 50000);
  EXPECT_NE(diags[0].message.find("just so you know"), std::string::npos);
  EXPECT_EQ(st.FetchAll(), (Rows{{Cell("1")}}));
}

TEST_F(SimulatorTest, EmptyResultListIsNoData) {
  Connection c;
  Connect(c);
  Statement st(c);
  EXPECT_EQ(st.ExecDirect("nothing"), SQL_NO_DATA) << Describe(st.Diags());
}

TEST_F(SimulatorTest, UnknownBatchesFailLikeSqlServer) {
  Connection c;
  Connect(c);
  Statement st(c);
  ASSERT_EQ(st.ExecDirect("exec dbo.nope"), SQL_ERROR);
  auto diags = st.Diags();
  ASSERT_FALSE(diags.empty());
  EXPECT_EQ(diags[0].native, 2812);
  EXPECT_NE(diags[0].message.find("Could not find stored procedure 'dbo.nope'."),
            std::string::npos);
  Statement other(c);
  ASSERT_EQ(other.ExecDirect("select name from sys.nothing"), SQL_ERROR);
  diags = other.Diags();
  ASSERT_FALSE(diags.empty());
  EXPECT_EQ(diags[0].native, 208);
  EXPECT_NE(diags[0].message.find("Invalid object name 'sys.nothing'."), std::string::npos);
}

TEST_F(SimulatorTest, PreparedStatementsGoThroughRpc) {
  Connection c;
  Connect(c);
  {
    Statement st(c);
    ASSERT_TRUE(SQL_SUCCEEDED(st.Prepare("select @@servername"))) << Describe(st.Diags());
    ASSERT_TRUE(SQL_SUCCEEDED(st.Execute())) << Describe(st.Diags());
    EXPECT_EQ(st.FetchAll(), (Rows{{Cell("SIMTEST")}}));
    ASSERT_EQ(st.CloseCursor(), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(st.Execute())) << Describe(st.Diags());
    EXPECT_EQ(st.FetchAll(), (Rows{{Cell("SIMTEST")}}));
  }
  EXPECT_EQ(Query(c, "select @@servername"), (Rows{{Cell("SIMTEST")}}));
  EXPECT_EQ(server_->Batches(), (std::vector<std::string>(3, "select @@servername")));
}

TEST_F(SimulatorTest, BoundParametersAndProcedureCallEscapes) {
  Connection c;
  Connect(c);
  SQLINTEGER number = 9;
  SQLLEN numberLength = 0;
  char text[] = "it's";
  SQLLEN textLength = SQL_NTS;
  {
    // FreeTDS sends sp_executesql; the statement text, with its @P markers, is what matches.
    Statement st(c);
    SQLBindParameter(st.Handle(), 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &number, 0,
                     &numberLength);
    SQLBindParameter(st.Handle(), 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_WVARCHAR, 10, 0, text, 0,
                     &textLength);
    ASSERT_EQ(st.ExecDirect("select n from t where n = ? and s = ?"), SQL_SUCCESS)
        << Describe(st.Diags());
    EXPECT_EQ(st.FetchAll(), (Rows{{Cell("1")}}));
  }
  {
    // A {call} with parameters becomes an RPC by name, matched as an EXEC with literals.
    Statement st(c);
    SQLBindParameter(st.Handle(), 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &number, 0,
                     &numberLength);
    SQLBindParameter(st.Handle(), 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_WVARCHAR, 10, 0, text, 0,
                     &textLength);
    ASSERT_EQ(st.ExecDirect("{call dbo.with_param(?, ?)}"), SQL_SUCCESS) << Describe(st.Diags());
    EXPECT_EQ(st.FetchAll(), (Rows{{Cell("1")}}));
  }
  EXPECT_EQ(server_->Batches(),
            (std::vector<std::string>{"select n from t where n = @P1 and s = @P2",
                                      "exec dbo.with_param 9, N'it''s'"}));
}

// ---- delays, cancellation, faults -----------------------------------------------------------

TEST_F(SimulatorTest, DelayedResultsArriveAfterTheDelay) {
  Connection c;
  Connect(c);
  const auto start = Clock::now();
  EXPECT_EQ(Query(c, "a bit slow"), (Rows{{Cell("1")}}));
  EXPECT_GE(Clock::now() - start, 290ms);
  EXPECT_EQ(Query(c, "rows then slow"), (Rows{{Cell("1")}}));
  EXPECT_EQ(Query(c, "select @@servername"), (Rows{{Cell("SIMTEST")}}));
}

TEST_F(SimulatorTest, CancelStopsADelayAndTheConnectionStaysUsable) {
  Connection c;
  Connect(c);
  Statement st(c);
  const auto start = Clock::now();
  std::thread canceller([&] {
    std::this_thread::sleep_for(300ms);
    st.Cancel();
  });
  const SQLRETURN rc = st.ExecDirect("slow");
  canceller.join();
  EXPECT_EQ(rc, SQL_ERROR);
  const auto diags = st.Diags();
  ASSERT_FALSE(diags.empty());
  EXPECT_EQ(diags[0].state, "HY008") << Describe(diags);
  EXPECT_LT(Clock::now() - start, 5s);
  EXPECT_EQ(Query(c, "select @@servername"), (Rows{{Cell("SIMTEST")}}));
}

TEST_F(SimulatorTest, QueryTimeoutCancelsADelay) {
  Connection c;
  Connect(c);
  Statement st(c);
  ASSERT_TRUE(SQL_SUCCEEDED(st.SetQueryTimeout(1)));
  const auto start = Clock::now();
  EXPECT_EQ(st.ExecDirect("slow"), SQL_ERROR);
  const auto elapsed = Clock::now() - start;
  const auto diags = st.Diags();
  ASSERT_FALSE(diags.empty());
  EXPECT_EQ(diags[0].state, "HYT00") << Describe(diags);
  EXPECT_GE(elapsed, 900ms);
  EXPECT_LT(elapsed, 5s);
  Statement next(c);
  ASSERT_EQ(next.ExecDirect("select @@servername"), SQL_SUCCESS) << Describe(next.Diags());
  EXPECT_EQ(next.FetchAll(), (Rows{{Cell("SIMTEST")}}));
}

// What FreeTDS 1.3.17 reports for a connection closed under it: the call that hits the end of
// the stream fails ("Unexpected EOF from the server", 20017, when the server hung up between
// responses; "Unknown error" when it hung up in the middle of one), and every later statement
// on that connection fails with 24000.
TEST_F(SimulatorTest, DroppedConnectionFailsTheStatementAndTheConnection) {
  Connection c;
  Connect(c);
  Statement st(c);
  const SQLRETURN rc = st.ExecDirect("drop me");
  // The row set sent before the drop may be readable; reading on must then run into the end
  // of the stream. Depending on where it notices, FreeTDS fails the call or merely adds a
  // 20017 warning to it.
  std::string seen = Describe(st.Diags());
  bool failed = rc == SQL_ERROR;
  if (!failed) {
    EXPECT_EQ(st.FetchAll(), (Rows{{Cell("1")}}));
    failed = st.MoreResults() == SQL_ERROR;
    seen += Describe(st.Diags());
  }
  EXPECT_TRUE(failed || seen.find("(20017) ") != std::string::npos) << seen;
  Statement after(c);
  EXPECT_EQ(after.ExecDirect("select @@servername"), SQL_ERROR);
  EXPECT_EQ(server_->Batches(), std::vector<std::string>{"drop me"});
  // Other connections are unaffected.
  Connection fresh;
  Connect(fresh);
  EXPECT_EQ(Query(fresh, "select @@servername"), (Rows{{Cell("SIMTEST")}}));
}

TEST(SimulatorFaults, DropAtBatchClosesOnTheNthBatch) {
  nlohmann::json s = TestScenario();
  s["faults"] = {{"dropAtBatch", 2}};
  Server server(s.dump());
  server.Start();
  Connection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(ConnectionString(server.Port())))) << Describe(c.Diags());
  EXPECT_EQ(Query(c, "select @@servername"), (Rows{{Cell("SIMTEST")}}));
  Statement st(c);
  EXPECT_EQ(st.ExecDirect("select @@servername"), SQL_ERROR);
  const std::string diags = Describe(st.Diags());
  EXPECT_NE(diags.find("(20017) "), std::string::npos) << diags;
  EXPECT_NE(diags.find("Unexpected EOF from the server"), std::string::npos) << diags;
  Statement after(c);
  EXPECT_EQ(after.ExecDirect("select @@servername"), SQL_ERROR);
  EXPECT_EQ(server.Batches().size(), 2u);
  // The count is per connection: a new one gets its first batch answered.
  Connection again;
  ASSERT_TRUE(SQL_SUCCEEDED(again.Connect(ConnectionString(server.Port()))));
  EXPECT_EQ(Query(again, "select @@servername"), (Rows{{Cell("SIMTEST")}}));
}

TEST_F(SimulatorTest, ConnectionsAreServedConcurrently) {
  std::atomic<int> ok{0};
  const auto start = Clock::now();
  std::vector<std::thread> clients;
  for (int i = 0; i < 2; ++i) {
    clients.emplace_back([&] {
      Connection c;
      if (!SQL_SUCCEEDED(c.Connect(Cs()))) return;
      Statement st(c);
      if (st.ExecDirect("one second") != SQL_SUCCESS) return;
      if (st.FetchAll() == Rows{{Cell("1")}}) ++ok;
    });
  }
  for (auto& t : clients) t.join();
  EXPECT_EQ(ok, 2);
  // Served one after the other, the two delays would take two seconds.
  EXPECT_LT(Clock::now() - start, 1800ms);
  EXPECT_EQ(server_->Batches().size(), 2u);
}

// ---- the server object ----------------------------------------------------------------------

TEST_F(SimulatorTest, OnBatchSeesEveryBatchInOrder) {
  std::mutex m;
  std::vector<std::string> seen;
  server_->OnBatch([&](const std::string& batch) {
    std::lock_guard lock(m);
    seen.push_back(batch);
  });
  Connection c;
  Connect(c);
  Query(c, "select @@servername");
  Query(c, "two sets");
  std::lock_guard lock(m);
  EXPECT_EQ(seen, (std::vector<std::string>{"select @@servername", "two sets"}));
  EXPECT_EQ(server_->Batches(), seen);
}

TEST_F(SimulatorTest, StopEndsConnectionsPromptly) {
  Connection c;
  Connect(c);
  Statement st(c);
  std::atomic<SQLRETURN> rc{SQL_SUCCESS};
  std::thread client([&] { rc = st.ExecDirect("slow"); });
  std::this_thread::sleep_for(200ms);
  const auto start = Clock::now();
  server_->Stop();
  EXPECT_LT(Clock::now() - start, 2s);
  client.join();
  EXPECT_EQ(rc.load(), SQL_ERROR);
  server_->Stop();  // idempotent
}

TEST(SimulatorServer, RejectsABadScenarioClearly) {
  try {
    Server server(
        R"({"batches": [{"sql": "x", "results": [{"rows": {"columns": [{"name": "a", "type": "nope"}]}}]}]})");
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("batches[0].results[0].rows.columns[0].type"),
              std::string::npos)
        << e.what();
  }
}

TEST(SimulatorServer, DemoScenarioServesTheDemoInstance) {
  Server server(DemoScenario());
  server.Start();
  Connection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(ConnectionString(server.Port())))) << Describe(c.Diags());
  const Rows version = Query(c, "select @@version");
  ASSERT_EQ(version.size(), 1u);
  EXPECT_EQ(version[0][0].value().rfind("Microsoft SQL Server 2019", 0), 0u);
  EXPECT_EQ(Query(c, "Select SERVERPROPERTY('ServerName')"), (Rows{{Cell("QUORVANE-DEMO")}}));
  const Rows msver = Query(c, "exec master..xp_msver");
  ASSERT_GE(msver.size(), 2u);
  EXPECT_EQ(msver[1][1], Cell("ProductVersion"));
  EXPECT_EQ(msver[1][3], Cell("15.0.2000.5"));
}

}  // namespace
}  // namespace sqlsim
