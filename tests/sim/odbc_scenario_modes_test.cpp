// End to end through FreeTDS: the case-sensitive server mode and rules that honour TOP n.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "odbc_client.h"
#include "sqlserver_sim/server.h"

namespace sqlsim {
namespace {

using testing::Cell;
using testing::Connection;
using testing::ConnectionString;
using testing::Describe;
using testing::Rows;
using testing::Statement;

nlohmann::json Numbers(const std::string& column, int count) {
  nlohmann::json data = nlohmann::json::array();
  for (int i = 1; i <= count; ++i) data.push_back({i});
  return {
      {"rows", {{"columns", {{{"name", column}, {"type", "int"}}}}, {"data", std::move(data)}}}};
}

Rows Query(Connection& c, const std::string& sql) {
  Statement st(c);
  const SQLRETURN rc = st.ExecDirect(sql);
  EXPECT_TRUE(SQL_SUCCEEDED(rc)) << sql << ": " << Describe(st.Diags());
  return SQL_SUCCEEDED(rc) ? st.FetchAll() : Rows{};
}

// The native error and message of a batch that must fail.
std::string Failure(Connection& c, const std::string& sql) {
  Statement st(c);
  if (st.ExecDirect(sql) != SQL_ERROR) return "no error";
  const auto diags = st.Diags();
  return diags.empty() ? "no diagnostic" : std::to_string(diags[0].native) + " " + diags[0].message;
}

bool EndsWith(const std::string& s, const std::string& end) {
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

nlohmann::json CaseScenario(bool caseSensitive) {
  // The rules match any letter case, so an error can only come from the check.
  return {
      {"server", {{"caseSensitive", caseSensitive}}},
      {"batches",
       {{{"pattern", "exec sp_msforeachdb .*"},
         {"ignoreCase", true},
         {"results", {Numbers("n", 1)}}},
        {{"pattern", "select crdate .*"}, {"ignoreCase", true}, {"results", {Numbers("n", 1)}}}}}};
}

TEST(SimulatorCaseSensitive, MiscasedNamesFailInsteadOfTheRule) {
  Server server(CaseScenario(true).dump());
  server.Start();
  Connection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(ConnectionString(server.Port())))) << Describe(c.Diags());

  const std::string proc = Failure(c, "EXEC sp_MSForEachDB 'USE [?]; EXEC sp_helpfile;'");
  EXPECT_EQ(proc.rfind("2812 ", 0), 0u) << proc;
  EXPECT_TRUE(EndsWith(proc, "Could not find stored procedure 'sp_MSForEachDB'.")) << proc;
  const std::string object =
      Failure(c, "select CrDate \"Started\" from master..SysDatabases where name = 'TempDb'");
  EXPECT_EQ(object.rfind("208 ", 0), 0u) << object;
  EXPECT_TRUE(EndsWith(object, "Invalid object name 'master..SysDatabases'.")) << object;

  // The connection goes on, and the right names reach the rules.
  EXPECT_EQ(Query(c, "EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helpfile;'"), (Rows{{Cell("1")}}));
  EXPECT_EQ(Query(c, "select crdate \"Started\" from master..sysdatabases where name = 'TempDb'"),
            (Rows{{Cell("1")}}));
}

TEST(SimulatorCaseSensitive, OffByDefault) {
  Server server(CaseScenario(false).dump());
  server.Start();
  Connection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(ConnectionString(server.Port())))) << Describe(c.Diags());
  EXPECT_EQ(Query(c, "EXEC sp_MSForEachDB 'USE [?]; EXEC sp_helpfile;'"), (Rows{{Cell("1")}}));
}

TEST(SimulatorTop, TheLastRowSetHonoursTopN) {
  const nlohmann::json scenario = {{"batches",
                                    {{{"pattern", "select [\\s\\S]*"},
                                      {"ignoreCase", true},
                                      {"top", "last"},
                                      {"results", {Numbers("a", 3), Numbers("n", 5)}}}}}};
  Server server(scenario.dump());
  server.Start();
  Connection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(ConnectionString(server.Port())))) << Describe(c.Diags());
  auto counts = [&](const std::string& sql) {
    Statement st(c);
    EXPECT_TRUE(SQL_SUCCEEDED(st.ExecDirect(sql))) << Describe(st.Diags());
    const std::size_t first = st.FetchAll().size();
    EXPECT_EQ(st.MoreResults(), SQL_SUCCESS);
    const std::size_t last = st.FetchAll().size();
    EXPECT_EQ(st.MoreResults(), SQL_NO_DATA);
    return std::to_string(first) + "," + std::to_string(last);
  };
  EXPECT_EQ(counts("select a into #x from t\r\nSELECT TOP 2 n FROM #x order by n"), "3,2");
  EXPECT_EQ(counts("select top (4) n from t"), "3,4");
  EXPECT_EQ(counts("select top 50 n from t"), "3,5");
  EXPECT_EQ(counts("select n from t where s = 'top 1'"), "3,5");
}

}  // namespace
}  // namespace sqlsim
