// The per-database file walk through the real driver when the login cannot open some databases:
// every database it can open shows its own files and sizes, one rule between databases, and
// each refused database one error block where it stood.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <set>

#include "e2e_support.h"
#include "report/text.h"
#include "sqlserver_sim/least_privilege.h"

namespace quorvane::e2e {
namespace {

using nlohmann::json;

constexpr const char* kWalk = "EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helpfile; EXEC sp_spaceused;'";

// One database's answer in the demo walk: sp_helpfile's files, then sp_spaceused's sets.
struct Group {
  std::string database;
  std::vector<std::string> files;
  json items;
};

json& WalkResults(json& scenario) {
  for (json& rule : scenario["batches"]) {
    if (rule.value("sql", "") == kWalk) return rule["results"];
  }
  throw std::runtime_error("the demo has no walk");
}

// The demo walk's databases, without the offline one it already has.
std::vector<Group> DemoGroups() {
  json scenario = json::parse(sqlsim::DemoScenario());
  std::vector<Group> groups;
  for (const json& item : WalkResults(scenario)) {
    if (!item.contains("rows")) continue;
    const json& rows = item["rows"];
    if (rows["columns"][0]["name"] == "name") {
      groups.push_back(Group{});
      for (const json& row : rows["data"]) groups.back().files.push_back(row[0]);
    } else if (rows["columns"][0]["name"] == "database_name") {
      groups.back().database = rows["data"][0][0];
    }
    groups.back().items.push_back(item);
  }
  return groups;
}

// The walk's part of the report: after sp_helpdb's table, before the next heading.
std::string Walk(const std::string& html) {
  const auto start = html.find("<a name=\"Databases\">");
  const auto end = html.find("<a name=\"FixedDatabaseRoles\">");
  if (start == std::string::npos || end == std::string::npos) return {};
  const std::string section = html.substr(start, end - start);
  return section.substr(section.find("</table>") + 8);
}

// Cut at the rules, each piece is one database of `shown`: its files and its own size.
void ExpectOneDatabaseBetweenRules(const std::string& walk, const std::vector<const Group*>& shown,
                                   const std::vector<Group>& groups) {
  std::vector<std::string> pieces;
  for (std::size_t from = 0;;) {
    const auto rule = walk.find("<hr>", from);
    pieces.push_back(walk.substr(from, rule == std::string::npos ? rule : rule - from));
    if (rule == std::string::npos) break;
    from = rule + 4;
  }
  ASSERT_EQ(pieces.size(), shown.size()) << walk;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    for (const Group& other : groups) {
      const bool own = &other == shown[i];
      EXPECT_EQ(pieces[i].find("<td>" + other.files.front()) != std::string::npos, own)
          << other.files.front() << " in the piece of " << shown[i]->database;
      EXPECT_EQ(pieces[i].find("<td>" + other.database + "</td>") != std::string::npos, own)
          << other.database << "'s size in the piece of " << shown[i]->database;
    }
  }
}

json AccessError(const std::string& database) {
  return {{"number", 916},
          {"class", 14},
          {"state", 2},
          {"line", 1},
          {"text", "The server principal \"audit\" is not able to access the database \"" +
                       database + "\" under the current security context."}};
}

constexpr std::size_t kLast = SIZE_MAX;

struct WalkCase {
  const char* name;
  std::vector<std::size_t> refused;  // positions in the walk, kLast for the last database
  bool infoFirst = false;            // a message before the error, as PRINT or a warning gives
  bool countOnError = false;         // DONE_ERROR with DONE_COUNT (0) after the error
};

class RefusedDatabases : public ::testing::TestWithParam<WalkCase> {};

TEST_P(RefusedDatabases, EveryOtherDatabaseShowsItsOwnFiles) {
  const WalkCase& c = GetParam();
  const std::vector<Group> groups = DemoGroups();
  ASSERT_GE(groups.size(), 5u);
  json scenario = json::parse(sqlsim::DemoScenario());
  json& results = WalkResults(scenario);
  results = json::array();
  std::vector<const Group*> shown;
  for (std::size_t i = 0; i < groups.size(); ++i) {
    const std::size_t position = i + 1 == groups.size() ? kLast : i;
    const bool refused = std::find(c.refused.begin(), c.refused.end(), position) != c.refused.end();
    if (!refused) {
      for (const json& item : groups[i].items) results.push_back(item);
      shown.push_back(&groups[i]);
      continue;
    }
    if (c.infoFirst) {
      results.push_back({{"info", {{"number", 15477}, {"class", 10}, {"text", "Caution."}}}});
    }
    json error = AccessError(groups[i].database);
    if (c.countOnError) error["count"] = 0;
    results.push_back({{"error", error}});
  }
  sqlsim::Server server(scenario.dump());
  server.Start();
  const CommandRun run = RunCommand(server, std::string("walk-") + c.name);
  ASSERT_EQ(run.exitCode, 1) << run.err;
  const std::string walk = Walk(run.html);
  EXPECT_EQ(CountOf(walk, "is not able to access the database"), c.refused.size());
  ExpectOneDatabaseBetweenRules(walk, shown, groups);
}

INSTANTIATE_TEST_SUITE_P(Walk, RefusedDatabases,
                         ::testing::Values(WalkCase{"First", {0}},
                                           WalkCase{"FirstWithACount", {0}, false, true},
                                           WalkCase{"FirstAfterAMessage", {0}, true},
                                           WalkCase{"Middle", {2}}, WalkCase{"TwoInARow", {0, 1}},
                                           WalkCase{"FirstAndLast", {0, kLast}},
                                           WalkCase{"Last", {kLast}}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvane::e2e

namespace quorvane::e2e {
namespace {

// An auditor's login: every refusal is one error block where it happened, the report is complete
// and closed, every database the login can open shows its own files, and the command's summary
// names each refusal.
TEST(LeastPrivilegeLogin, GetsACompleteReportThatSaysWhatWasRefused) {
  sqlsim::Server server(sqlsim::LeastPrivilegeScenario(sqlsim::DemoScenario()));
  server.Start();
  const CommandRun run =
      RunCommandAs(server, "least-privilege", sqlsim::kAuditLogin, sqlsim::kAuditPassword);
  ASSERT_EQ(run.exitCode, 1) << run.err;
  EXPECT_TRUE(run.html.ends_with("</body>\r\n</html>\r\n"));
  EXPECT_NE(run.html.find("Database Replication"), std::string::npos) << "the last section";

  // Every refusal has its block, and there is no block but theirs.
  const json scenario = json::parse(sqlsim::LeastPrivilegeScenario(sqlsim::DemoScenario()));
  std::set<std::string> refusals;
  for (const json& rule : scenario["batches"]) {
    for (const json& item : rule["results"]) {
      if (!item.contains("error")) continue;
      const std::string text = item["error"]["text"];
      refusals.insert(report::HtmlEscape(text));
      EXPECT_NE(run.err.find(text), std::string::npos) << "the summary lacks: " << text;
    }
  }
  std::set<std::string> blocks;
  const std::string opening = "<div class=\"ExceptionError\"><u>Exception Error:</u><br>";
  for (auto at = run.html.find(opening); at != std::string::npos;
       at = run.html.find(opening, at + 1)) {
    const auto text = at + opening.size();
    blocks.insert(run.html.substr(text, run.html.find("</div>", text) - text));
  }
  EXPECT_EQ(blocks, refusals);

  std::vector<const Group*> shown;
  const std::vector<Group> groups = DemoGroups();
  const std::string walk = Walk(run.html);
  for (const Group& group : groups) {
    if (walk.find("access the database &quot;" + group.database + "&quot;") == std::string::npos) {
      shown.push_back(&group);
    }
  }
  EXPECT_EQ(shown.size() + 3, groups.size()) << "the first, a middle and the last are refused";
  ExpectOneDatabaseBetweenRules(walk, shown, groups);
}

}  // namespace
}  // namespace quorvane::e2e
