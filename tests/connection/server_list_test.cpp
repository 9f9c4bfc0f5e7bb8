#include <gtest/gtest.h>

#include "connection/server_list.h"

namespace quorvane::connection {
namespace {

const std::string kY = "\xC3\xBF";  // U+00FF, the separator of name and login

std::vector<std::string> Names(const ServerList& servers) {
  std::vector<std::string> names;
  for (const ServerEntry& entry : servers) names.push_back(entry.name);
  return names;
}

std::vector<std::string> Entries(const ServerList& servers) {
  std::vector<std::string> entries;
  for (const ServerEntry& entry : servers) entries.push_back(entry.name + "|" + entry.login.Text());
  return entries;
}

TEST(ServerList, KeepsCapitalsSortedWithoutRegardToCase) {
  ServerList servers;
  servers.Add("srv2", "");
  servers.Add("Alpha", "sa");
  servers.Add("srv10", "");
  servers.Add("b_SRV", "");
  EXPECT_EQ(Names(servers), (std::vector<std::string>{"ALPHA", "B_SRV", "SRV10", "SRV2"}));
  EXPECT_EQ(servers[0].login.Text(), "sa");
}

TEST(ServerList, FindsExactNamesIgnoringCaseOnly) {
  ServerList servers;
  servers.Add("SRV1", "sa");
  servers.Add("SRV10", "");
  EXPECT_EQ(servers.Find("srv1"), 0u);
  EXPECT_EQ(servers.Find("SRV10"), 1u);
  EXPECT_FALSE(servers.Find("SRV"));
  EXPECT_FALSE(servers.Find(" SRV1"));
}

TEST(ServerList, RemembersAServerOnceAndReplacesItsLogin) {
  ServerList servers;
  servers.Remember("srv1", "sa");
  servers.Remember("SRV1", "dba");
  servers.Remember("Srv1", "");
  EXPECT_EQ(Entries(servers), (std::vector<std::string>{"SRV1|"}));
  servers.Remember("SRV0", "x");
  EXPECT_EQ(Entries(servers), (std::vector<std::string>{"SRV0|x", "SRV1|"}));
}

TEST(ServerList, RemovesOneOrAll) {
  ServerList servers;
  servers.Add("A", "");
  servers.Add("B", "");
  servers.Add("C", "");
  EXPECT_TRUE(servers.Remove("b"));
  EXPECT_FALSE(servers.Remove("B"));
  servers.RemoveAt(0);
  EXPECT_EQ(Names(servers), (std::vector<std::string>{"C"}));
  EXPECT_THROW(servers.RemoveAt(1), std::out_of_range);
  servers.Clear();
  EXPECT_TRUE(servers.empty());
}

TEST(ServerList, CompletesFromTheFirstEntryBeginningWithTheText) {
  ServerList servers;
  servers.Add("PROD-SQL2", "");
  servers.Add("PROD-SQL1", "sa");
  servers.Add("TEST", "");
  EXPECT_EQ(servers.Complete("prod"), 0u);
  EXPECT_EQ(servers[*servers.Complete("prod")].name, "PROD-SQL1");
  EXPECT_EQ(servers.Complete("t"), 2u);
  EXPECT_FALSE(servers.Complete("X"));
  EXPECT_FALSE(servers.Complete(""));
}

TEST(WindowsAuthenticationBox, FollowsThePickedEntry) {
  EXPECT_FALSE(WindowsAuthenticationFor({"SRV1", TString("sa")}));
  EXPECT_TRUE(WindowsAuthenticationFor({"SRV1", TString("")}));
  EXPECT_TRUE(WindowsAuthenticationFor({"SRV1", TString("  ")}));
}

TEST(WindowsAuthenticationBox, TickingForgetsTheLoginAndAsksForASave) {
  ServerList servers;
  servers.Add("SRV1", "sa");
  EXPECT_FALSE(WinAuthCheckBoxClick(servers, "  ", true));
  EXPECT_EQ(servers[0].login.Text(), "sa");

  EXPECT_FALSE(WinAuthCheckBoxClick(servers, "OTHER", true));
  EXPECT_EQ(servers[0].login.Text(), "sa");

  EXPECT_TRUE(WinAuthCheckBoxClick(servers, "srv1", true));
  EXPECT_EQ(servers[0].login.Text(), "");

  // Clearing the box saves but does not bring the login back.
  EXPECT_TRUE(WinAuthCheckBoxClick(servers, "SRV1", false));
  EXPECT_EQ(servers[0].login.Text(), "");
}

TEST(ServersValue, ReadsTheEdgeCases) {
  EXPECT_EQ(Entries(ParseServers("SRV2" + kY + ",SRV1" + kY + "sa")),
            (std::vector<std::string>{"SRV1|sa", "SRV2|"}));
  EXPECT_EQ(Entries(ParseServers("SRV1")), (std::vector<std::string>{"SRV1|"}));
  EXPECT_EQ(Entries(ParseServers("SRV1" + kY + "b,SRV1" + kY + "a")),
            (std::vector<std::string>{"SRV1|a", "SRV1|b"}));
  // Duplicates ignoring case are dropped; blanks and control characters end items.
  EXPECT_EQ(Entries(ParseServers("srv1" + kY + "sa,SRV1" + kY + "SA")),
            (std::vector<std::string>{"SRV1|sa"}));
  EXPECT_EQ(Entries(ParseServers("  MY SRV" + kY + "x\t,B")),
            (std::vector<std::string>{"B|", "MY|", "SRV|x"}));
  // Quoted items, "" for one quote; items without a name are skipped.
  EXPECT_EQ(Entries(ParseServers("\"MY SRV" + kY + "a \"\"b\"\"\",,C,")),
            (std::vector<std::string>{"C|", "MY SRV|a \"b\""}));
  EXPECT_TRUE(ParseServers("").empty());
  EXPECT_EQ(Entries(ParseServers("A" + kY + kY + "x")),
            (std::vector<std::string>{"A|" + kY + "x"}));
}

TEST(ServersValue, CutsALoginAt255Characters) {
  const std::string login(300, 'l');
  const ServerList servers = ParseServers("A" + kY + login);
  EXPECT_EQ(servers[0].login.Text(), std::string(255, 'l'));
  const std::string wide = std::string(254, 'l') + "\xC3\xA9\xC3\xA9";  // 256 characters
  EXPECT_EQ(ParseServers("A" + kY + wide)[0].login.Text(), std::string(254, 'l') + "\xC3\xA9");
}

TEST(ServersValue, WritesPlainEntriesUnquoted) {
  ServerList servers;
  servers.Add("SRV2", "");
  servers.Add("SRV1", "sa");
  EXPECT_EQ(FormatServers(servers), "SRV1" + kY + "sa,SRV2" + kY);
  EXPECT_EQ(FormatServers(ServerList()), "");
}

TEST(ServersValue, QuotedEntriesComeBackAsWritten) {
  ServerList servers;
  servers.Add("MY SERVER", "sa");
  servers.Add("A,B", "x");
  servers.Add("Q\"UOTE", "\"q\"");
  servers.Add("PLAIN", "login with blanks");
  servers.Add("TAB\tBED", "");
  const std::string value = FormatServers(servers);
  EXPECT_NE(value.find("\"MY SERVER" + kY + "sa\""), std::string::npos) << value;
  EXPECT_EQ(ParseServers(value), servers);
}

}  // namespace
}  // namespace quorvane::connection
