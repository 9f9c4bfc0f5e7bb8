// The demo instance grown by --scale: its generated answers read back through the real FreeTDS
// driver, result by result and row by row.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "odbc_client.h"
#include "sqlserver_sim/scale.h"
#include "sqlserver_sim/scenario.h"
#include "sqlserver_sim/server.h"

namespace sqlsim {
namespace {

using testing::Connection;
using testing::ConnectionString;
using testing::Describe;
using testing::Rows;
using testing::Statement;

// One result of a batch: its rows, or an error.
struct Result {
  bool error = false;
  SQLSMALLINT columns = 0;
  Rows rows;
};

std::vector<Result> RunBatch(Statement& stmt, const std::string& sql) {
  std::vector<Result> results;
  SQLRETURN rc = stmt.ExecDirect(sql);
  while (rc != SQL_NO_DATA) {
    Result r;
    if (rc == SQL_ERROR) {
      r.error = true;
    } else {
      r.columns = stmt.NumResultCols();
      if (r.columns > 0) r.rows = stmt.FetchAll();
    }
    if (r.error || r.columns > 0) results.push_back(std::move(r));
    rc = stmt.MoreResults();
  }
  return results;
}

// A batch the demo's pattern rule `pattern` matches: its escapes undone, `[0-9]+` as `top`.
std::string TextMatching(const std::string& pattern, const std::string& top) {
  std::string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern.compare(i, 6, "[0-9]+") == 0) {
      out += top;
      i += 5;
    } else if (pattern[i] == '\\' && i + 1 < pattern.size()) {
      ++i;
      out += pattern[i] == 'n' ? '\n' : pattern[i];
    } else {
      out += pattern[i];
    }
  }
  return out;
}

TEST(ScaleSizesTest, ParsesEverySizeAndRejectsTheRest) {
  const ScaleSizes s =
      ParseScaleSizes("databases=5000,logins=20000,jobs=2000,history=100000,rows=500000");
  EXPECT_EQ(s.databases, 5000u);
  EXPECT_EQ(s.logins, 20000u);
  EXPECT_EQ(s.jobs, 2000u);
  EXPECT_EQ(s.history, 100000u);
  EXPECT_EQ(s.rows, 500000u);
  EXPECT_FALSE(ParseScaleSizes("jobs=3").databases.has_value());
  EXPECT_THROW(ParseScaleSizes("tables=3"), std::invalid_argument);
  EXPECT_THROW(ParseScaleSizes("databases=many"), std::invalid_argument);
  EXPECT_THROW(ParseScaleSizes("databases=5,"), std::invalid_argument);
  EXPECT_THROW(Server(DemoScenario(), ParseScaleSizes("databases=3")), std::runtime_error);
}

TEST(ScaleOdbcTest, GeneratedAnswersReadBackThroughFreeTds) {
  ScaleSizes sizes = ParseScaleSizes("databases=300,logins=50,jobs=30,history=200,rows=5000");
  Server server(DemoScenario(), sizes);
  server.Start();
  Connection conn;
  ASSERT_TRUE(SQL_SUCCEEDED(conn.Connect(ConnectionString(server.Port()))))
      << Describe(conn.Diags());
  Statement stmt(conn);

  // 296 user databases by name, then the four system ones; one in 500 is offline.
  const auto helpdb = RunBatch(stmt, "exec master..sp_helpdb");
  ASSERT_EQ(helpdb.size(), 1u);
  ASSERT_EQ(helpdb[0].columns, 7);
  ASSERT_EQ(helpdb[0].rows.size(), 300u);
  EXPECT_EQ(helpdb[0].rows[0][0], "Db00001");
  EXPECT_EQ(helpdb[0].rows[250][0], "Db00251");
  EXPECT_EQ(helpdb[0].rows[250][5], "Status=OFFLINE");
  EXPECT_EQ(helpdb[0].rows[296][0], "master");
  EXPECT_EQ(helpdb[0].rows[299][0], "tempdb");

  // Three results per database, and error 942 instead for the offline one.
  const auto walk =
      RunBatch(stmt, "EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helpfile; EXEC sp_spaceused;'");
  ASSERT_EQ(walk.size(), 3u * 299 + 1);
  std::size_t errors = 0;
  for (std::size_t i = 0; i < walk.size(); ++i) {
    if (walk[i].error) {
      ++errors;
      EXPECT_EQ(i, 3u * (4 + 250)) << "the offline database's place in the walk";
    }
  }
  EXPECT_EQ(errors, 1u);
  EXPECT_EQ(walk.back().columns, 4);  // sp_spaceused's second set
  ASSERT_EQ(walk[walk.size() - 3].rows.size(), 2u);
  EXPECT_EQ(walk[walk.size() - 3].rows[1][0], "Db00296_log");

  // The demo's 13 logins and their 21 rows of users, then 37 more with two rows each.
  const auto logins = RunBatch(stmt, "exec master..sp_helplogins");
  ASSERT_EQ(logins.size(), 2u);
  EXPECT_EQ(logins[0].rows.size(), 50u);
  EXPECT_EQ(logins[1].rows.size(), 21u + 2 * 37);

  const Scenario demo = ParseScenario(DemoScenario());
  std::string jobScript;
  std::vector<std::string> history;
  for (const BatchRule& rule : demo.batches) {
    if (rule.sql.find("#job_execution_state") != std::string::npos) jobScript = rule.sql;
    if (rule.patternText.find("#JobHistoryTmp") != std::string::npos)
      history.push_back(TextMatching(rule.patternText, "100"));
  }
  const auto jobs = RunBatch(stmt, jobScript);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].columns, 31);
  EXPECT_EQ(jobs[0].rows.size(), 30u);

  // The history answers `rows` rows of ten columns whatever its TOP; the others keep theirs.
  ASSERT_EQ(history.size(), 3u);
  const auto all = RunBatch(stmt, history[0]);
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].columns, 10);
  EXPECT_EQ(all[0].rows.size(), 5000u);
  const auto failures = RunBatch(stmt, history[1]);
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].rows.size(), 23u);  // every ninth of 200
  const auto longest = RunBatch(stmt, history[2]);
  ASSERT_EQ(longest.size(), 1u);
  EXPECT_EQ(longest[0].rows.size(), 100u);
}

// A client that stops reading a streamed row set and cancels it gets the acknowledgement at a
// token boundary, and the connection goes on.
TEST(ScaleOdbcTest, CancelInTheMiddleOfAStreamedRowSet) {
  Server server(DemoScenario(), ParseScaleSizes("rows=2000000"));
  server.Start();
  Connection conn;
  ASSERT_TRUE(SQL_SUCCEEDED(conn.Connect(ConnectionString(server.Port()))))
      << Describe(conn.Diags());
  std::string history;
  for (const BatchRule& rule : ParseScenario(DemoScenario()).batches) {
    if (history.empty() && rule.patternText.find("#JobHistoryTmp") != std::string::npos)
      history = TextMatching(rule.patternText, "100");
  }
  Statement stmt(conn);
  ASSERT_TRUE(SQL_SUCCEEDED(stmt.ExecDirect(history))) << Describe(stmt.Diags());
  while (stmt.NumResultCols() == 0) ASSERT_TRUE(SQL_SUCCEEDED(stmt.MoreResults()));
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(SQL_SUCCEEDED(stmt.Fetch()));
  ASSERT_TRUE(SQL_SUCCEEDED(stmt.Cancel())) << Describe(stmt.Diags());
  stmt.CloseCursor();
  const auto after = RunBatch(stmt, "exec master..sp_helpdb");
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].rows.size(), 6u);
}

}  // namespace
}  // namespace sqlsim
