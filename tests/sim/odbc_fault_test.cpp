// End to end through FreeTDS: the faults counted over the whole server, and the corrupt column
// metadata that kills or stalls the driver.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

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

std::string WithFaults(nlohmann::json faults) {
  return nlohmann::json{
      {"faults", std::move(faults)},
      {"batches",
       {{{"sql", "select 1"},
         {"results",
          {{{"rows", {{"columns", {{{"name", "n"}, {"type", "int"}}}}, {"data", {{1}}}}}}}}}}}}
      .dump();
}

bool Answers(Connection& c) {
  Statement st(c);
  return st.ExecDirect("select 1") == SQL_SUCCESS && st.FetchAll() == Rows{{Cell("1")}};
}

void Connect(Connection& c, const Server& server) {
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(ConnectionString(server.Port())))) << Describe(c.Diags());
}

TEST(SimulatorServerFaults, DropOnceAtBatchCountsEveryConnectionAndFiresOnce) {
  Server server(WithFaults({{"dropOnceAtBatch", 2}}));
  server.Start();
  Connection first;
  Connect(first, server);
  EXPECT_TRUE(Answers(first));
  Connection second;
  Connect(second, server);
  EXPECT_FALSE(Answers(second));  // its first batch, the server's second
  EXPECT_FALSE(Answers(second));  // that link is gone
  // A reconnection goes on, and so does the other connection.
  Connection again;
  Connect(again, server);
  EXPECT_TRUE(Answers(again));
  EXPECT_TRUE(Answers(again));
  EXPECT_TRUE(Answers(first));
}

TEST(SimulatorServerFaults, RefuseLoginsAfterDropRefusesTheReconnection) {
  Server server(WithFaults({{"dropOnceAtBatch", 1}, {"refuseLoginsAfterDrop", true}}));
  server.Start();
  Connection c;
  Connect(c, server);
  EXPECT_FALSE(Answers(c));
  Connection again;
  EXPECT_EQ(again.Connect(ConnectionString(server.Port())), SQL_ERROR);
  const std::string all = Describe(again.Diags());
  EXPECT_NE(all.find("(18456) [FreeTDS][SQL Server]Login failed for user 'sa'."), std::string::npos)
      << all;
}

// Proves that the installed driver still dies of this corruption, which is what the product
// has to survive.
TEST(SimulatorServerFaultsDeathTest, MalformedMetadataAbortKillsTheFreeTdsClient) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Server server(WithFaults({{"malformedMetadataAtBatch", 1}, {"malformedMetadata", "abort"}}));
  server.Start();
  EXPECT_EXIT(
      {
        Connection c;
        if (SQL_SUCCEEDED(c.Connect(ConnectionString(server.Port())))) Answers(c);
        std::exit(0);
      },
      ::testing::KilledBySignal(SIGABRT), "data_generic_set_type_info: Assertion");
}

TEST(SimulatorServerFaults, MalformedMetadataStallEndsWithTheQueryTimeout) {
  Server server(WithFaults({{"malformedMetadataAtBatch", 1}, {"malformedMetadata", "stall"}}));
  server.Start();
  Connection c;
  Connect(c, server);
  Statement st(c);
  ASSERT_TRUE(SQL_SUCCEEDED(st.SetQueryTimeout(2)));
  const auto start = Clock::now();
  EXPECT_EQ(st.ExecDirect("select 1"), SQL_ERROR);
  const auto elapsed = Clock::now() - start;
  const auto diags = st.Diags();
  ASSERT_FALSE(diags.empty());
  EXPECT_EQ(diags[0].state, "HYT00") << Describe(diags);
  EXPECT_GE(elapsed, 1900ms);
  EXPECT_LT(elapsed, 6s);
  EXPECT_FALSE(Answers(c));
}

}  // namespace
}  // namespace sqlsim
