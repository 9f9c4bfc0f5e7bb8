// The per-database file walk through the real driver when the login cannot open some databases:
// every database it can open shows its own files and sizes, one rule between databases, and
// each refused database one error block where it stood.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "e2e_support.h"

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

  const auto start = run.html.find("<a name=\"Databases\">");
  const auto end = run.html.find("<a name=\"FixedDatabaseRoles\">");
  ASSERT_NE(start, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  // The walk follows sp_helpdb's table.
  const std::string section = run.html.substr(start, end - start);
  const std::string walk = section.substr(section.find("</table>") + 8);

  EXPECT_EQ(CountOf(walk, "is not able to access the database"), c.refused.size());
  // Cut at the rules, each piece is one database: its files and its own size.
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
