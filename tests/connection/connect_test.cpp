#include <gtest/gtest.h>

#include "connection/connect.h"
#include "data/database_error.h"
#include "support/scripted_connection.h"

namespace quorvane::connection {
namespace {

// A window that answers from its fields and records what Connect asked of it.
class FakeHost : public ConnectHost {
 public:
  std::string ServerText() const override { return server; }
  bool WindowsAuthentication() const override { return windowsAuthentication; }
  std::string TimeoutText() const override { return timeout; }
  std::string ProviderText() const override { return provider; }
  std::optional<LoginAnswer> ShowLoginDialog(const LoginPrompt& prompt) override {
    prompts.push_back(prompt);
    events.push_back("dialog");
    return answer;
  }
  void ClearReportView() override { events.push_back("view:about:"); }
  void ProcessEvents() override { events.push_back("process"); }
  void SetWaitCursor() override { events.push_back("cursor:wait"); }
  void RestoreDefaultCursor() override { events.push_back("cursor:default"); }
  void ShowError(const std::string& message) override {
    errors.push_back(message);
    events.push_back("error");
  }
  void RestoreIdleControls() override { events.push_back("idle"); }

  std::string server = "SRV1";
  bool windowsAuthentication = true;
  std::string timeout = " 15";
  std::string provider = "SQLOLEDB.1";
  std::optional<LoginAnswer> answer;
  std::vector<LoginPrompt> prompts;
  std::vector<std::string> errors;
  std::vector<std::string> events;
};

class ConnectTest : public ::testing::Test {
 protected:
  ConnectTest()
      : connector(host, SQLServer, servers,
                  {[this] { host.events.push_back("query:closed"); },
                   [this] { host.events.push_back("buffer:cleared"); },
                   [this] { host.events.push_back("count:reset"); },
                   [this] {
                     host.events.push_back("report");
                     if (runFailure) throw data::DatabaseError(*runFailure);
                     SQLServer.Close();
                   }},
                  [] { return std::vector<std::string>{"FreeTDS"}; }) {}

  FakeHost host;
  quorvane::testing::ScriptedConnection SQLServer;
  ServerList servers;
  std::optional<std::string> runFailure;
  Connector connector;
};

TEST_F(ConnectTest, BlankServerTextDoesNothing) {
  host.server = "   ";
  EXPECT_EQ(connector.Connect(), ConnectOutcome::kNothingToDo);
  EXPECT_TRUE(host.events.empty());
  EXPECT_EQ(SQLServer.OpenCount(), 0);
}

TEST_F(ConnectTest, WindowsAuthenticationRunsTheStepsInOrder) {
  host.timeout = " 42";
  EXPECT_EQ(connector.Connect(), ConnectOutcome::kConnected);
  EXPECT_EQ(host.events, (std::vector<std::string>{"buffer:cleared", "view:about:", "process",
                                                   "cursor:wait", "count:reset", "report"}));
  EXPECT_EQ(SQLServer.ConnectionString(),
            "Driver=FreeTDS;Server=SRV1;TDS_Version=7.4;ClientCharset=UTF-8;Encryption=request;"
            "Trusted_Connection=Yes;");
  EXPECT_EQ(SQLServer.ConnectionTimeout(), 42);
  EXPECT_EQ(SQLServer.CommandTimeout(), 42);
  ASSERT_EQ(servers.size(), 1u);
  EXPECT_EQ(servers[0], (ServerEntry{"SRV1", TString("")}));
}

TEST_F(ConnectTest, RecordsTheTrimmedNameAndConnectsWithTheTextAsTyped) {
  host.server = " srv1 ";
  host.windowsAuthentication = false;
  host.answer = LoginAnswer{"sa", "pw"};
  EXPECT_EQ(connector.Connect(), ConnectOutcome::kConnected);
  ASSERT_EQ(host.prompts.size(), 1u);
  EXPECT_EQ(host.prompts[0].caption, "Log into  srv1 ");
  EXPECT_EQ(host.prompts[0].title, "Log into SQL Server  srv1 ");
  EXPECT_EQ(servers[0], (ServerEntry{"SRV1", TString("sa")}));
  EXPECT_NE(SQLServer.ConnectionString().find("Server=srv1;"), std::string::npos);
  EXPECT_NE(SQLServer.ConnectionString().find("UID=sa;PWD=pw;"), std::string::npos);
}

TEST_F(ConnectTest, PrefillsTheRememberedLogin) {
  servers.Add("SRV1", "sa");
  host.windowsAuthentication = false;
  host.answer = LoginAnswer{"sa", "pw"};
  connector.Connect();
  host.server = "OTHER";
  connector.Connect();
  ASSERT_EQ(host.prompts.size(), 2u);
  EXPECT_EQ(host.prompts[0].userName, "sa");
  EXPECT_EQ(host.prompts[1].userName, "");
}

TEST_F(ConnectTest, CancelLeavesTheViewEmptyWithoutAnError) {
  host.windowsAuthentication = false;
  EXPECT_EQ(connector.Connect(), ConnectOutcome::kCancelled);
  EXPECT_EQ(host.events,
            (std::vector<std::string>{"buffer:cleared", "view:about:", "process", "dialog"}));
  EXPECT_EQ(SQLServer.OpenCount(), 0);
  EXPECT_TRUE(servers.empty());
}

TEST_F(ConnectTest, FailedOpenShowsTheMessageAndLeavesTheListAlone) {
  servers.Add("SRV1", "old");
  host.windowsAuthentication = false;
  host.answer = LoginAnswer{"new", "pw"};
  SQLServer.FailConnect("Login failed for user 'new'.");
  EXPECT_EQ(connector.Connect(), ConnectOutcome::kFailed);
  EXPECT_EQ(host.errors, (std::vector<std::string>{"Login failed for user 'new'."}));
  EXPECT_EQ(std::vector<std::string>(host.events.end() - 3, host.events.end()),
            (std::vector<std::string>{"cursor:default", "idle", "error"}));
  EXPECT_EQ(servers[0].login.Text(), "old");
  EXPECT_EQ(servers.size(), 1u);
}

TEST_F(ConnectTest, AFailedReportRunClosesTheConnectionItLeftOpen) {
  runFailure = "Report failed";
  EXPECT_EQ(connector.Connect(), ConnectOutcome::kFailed);
  EXPECT_FALSE(SQLServer.Connected());
  EXPECT_EQ(host.errors, (std::vector<std::string>{"Report failed"}));
  EXPECT_EQ(std::vector<std::string>(host.events.end() - 4, host.events.end()),
            (std::vector<std::string>{"cursor:default", "query:closed", "idle", "error"}));
  EXPECT_TRUE(servers.empty());
}

TEST_F(ConnectTest, SuccessAddsOnceAndReplacesTheLoginOnASecondRun) {
  host.windowsAuthentication = false;
  host.answer = LoginAnswer{"sa", "pw"};
  connector.Connect();
  host.answer = LoginAnswer{"dba", "pw2"};
  connector.Connect();
  EXPECT_EQ(servers.size(), 1u);
  EXPECT_EQ(servers[0].login.Text(), "dba");
  host.windowsAuthentication = true;
  connector.Connect();
  EXPECT_EQ(servers[0].login.Text(), "");
  EXPECT_EQ(connector.LastLoginName(), "dba");
}

TEST_F(ConnectTest, ClosesAConnectionLeftOpenFirst) {
  SQLServer.Open();
  connector.Connect();
  EXPECT_EQ(host.events.front(), "query:closed");
  EXPECT_EQ(SQLServer.OpenCount(), 2);
}

TEST_F(ConnectTest, RefusesATimeoutThatIsNotANumber) {
  for (const char* timeout : {"", "   ", "1 5", "abc", "-1"}) {
    host.events.clear();
    host.errors.clear();
    host.timeout = timeout;
    EXPECT_EQ(connector.Connect(), ConnectOutcome::kInvalidTimeout) << timeout;
    EXPECT_EQ(host.events, (std::vector<std::string>{"buffer:cleared", "view:about:", "error"}));
  }
  EXPECT_EQ(SQLServer.OpenCount(), 0);
  EXPECT_EQ(ParseTimeout("  7 "), 7);
}

TEST_F(ConnectTest, NeverShowsThePassword) {
  host.windowsAuthentication = false;
  host.answer = LoginAnswer{"sa", "Secret#1"};
  SQLServer.FailConnect("driver said: bad PWD=Secret#1 here");
  connector.Connect();
  EXPECT_EQ(host.errors.back(), "driver said: bad PWD=******** here");

  host.answer = LoginAnswer{"sa", "has};inside"};
  EXPECT_EQ(connector.Connect(), ConnectOutcome::kFailed);
  EXPECT_EQ(host.errors.back().find("has};inside"), std::string::npos);
  EXPECT_EQ(SQLServer.OpenCount(), 1);
}

TEST_F(ConnectTest, ReportsAMissingDriver) {
  Connector noDrivers(host, SQLServer, servers, {}, {});
  EXPECT_EQ(noDrivers.Connect(), ConnectOutcome::kFailed);
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_NE(host.errors[0].find("No ODBC driver for SQL Server"), std::string::npos);
  EXPECT_EQ(SQLServer.OpenCount(), 0);
}

TEST(LoginDialogPasswordEvent, KeepsTheNameAndLeavesThePasswordAlone) {
  FakeHost host;
  quorvane::testing::ScriptedConnection SQLServer;
  ServerList servers;
  Connector connector(host, SQLServer, servers, {}, {});
  std::string password = "pw";
  connector.JvLoginDialog1GetPassword("sa", password);
  EXPECT_EQ(password, "pw");
  EXPECT_EQ(connector.LastLoginName(), "sa");
}

}  // namespace
}  // namespace quorvane::connection
