// The snapshot (--json) and the coverage ledger of real runs through the driver against the
// simulator: what the server sent, typed; each section's status and reason; and a report that
// stays the same byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>

#include "cli/report_command.h"
#include "e2e_support.h"

namespace quorvane::e2e {
namespace {

using nlohmann::json;

json Demo() {
  return json::parse(sqlsim::DemoScenario());
}

json& Rule(json& scenario, const std::string& start) {
  for (json& rule : scenario["batches"]) {
    if (rule.value("sql", rule.value("pattern", "")).starts_with(start)) return rule;
  }
  throw std::runtime_error("no demo rule starts with " + start);
}

// The scenario's value as the snapshot is to write it: bits as booleans, date-times in ISO 8601.
json Expected(const json& value, const std::string& type) {
  if (value.is_null()) return value;
  if (type == "bit") return value.is_boolean() ? value : json(value.get<int>() != 0);
  if (type == "datetime") {
    std::string text = value.get<std::string>();
    text[10] = 'T';
    return text;
  }
  return value;
}

struct Snapshot {
  CommandRun run;
  json document;
};

Snapshot RunWithSnapshot(const sqlsim::Server& server, const std::string& name,
                         std::vector<std::string> options = {}) {
  const std::filesystem::path path = OutputPath(name + "-snapshot");
  options.insert(options.end(), {"--json", path.string()});
  Snapshot snapshot{RunCommand(server, name, options), json()};
  if (std::filesystem::exists(path)) snapshot.document = json::parse(ReadFile(path));
  std::filesystem::remove(path);
  return snapshot;
}

const json& Section(const json& document, const std::string& anchor) {
  for (const json& section : document["sections"]) {
    if (section["anchor"] == anchor) return section;
  }
  throw std::runtime_error("no section " + anchor);
}

const json& ResultOf(const json& document, const std::string& command, std::size_t n = 0) {
  for (const json& section : document["sections"]) {
    for (const json& result : section["resultSets"]) {
      if (result["command"] == command && n-- == 0) return result;
    }
  }
  throw std::runtime_error("no result of " + command);
}

std::string WithoutCreationTime(const std::string& html) {
  static const std::regex created("Report created on [^<]* by ");
  return std::regex_replace(html, created, "Report created on TIME by ");
}

class DemoSnapshot : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = std::make_unique<sqlsim::Server>(sqlsim::DemoScenario());
    server_->Start();
    snapshot_ = std::make_unique<Snapshot>(RunWithSnapshot(*server_, "demo"));
  }
  static void TearDownTestSuite() {
    snapshot_.reset();
    server_.reset();
  }
  static const json& Document() { return snapshot_->document; }

  static std::unique_ptr<sqlsim::Server> server_;
  static std::unique_ptr<Snapshot> snapshot_;
};

std::unique_ptr<sqlsim::Server> DemoSnapshot::server_;
std::unique_ptr<Snapshot> DemoSnapshot::snapshot_;

TEST_F(DemoSnapshot, LeavesTheReportAsItIsWithoutOne) {
  const CommandRun plain = RunCommand(*server_, "plain");
  EXPECT_EQ(snapshot_->run.exitCode, plain.exitCode);
  EXPECT_EQ(WithoutCreationTime(snapshot_->run.html), WithoutCreationTime(plain.html));
}

TEST_F(DemoSnapshot, HasEverySectionOfTheReportInOrderWithItsStatus) {
  static const std::regex heading("<a name=\"([^\"]+)\"></a><h2>");
  const std::string& html = snapshot_->run.html;
  std::vector<std::string> anchors;
  for (auto it = std::sregex_iterator(html.begin(), html.end(), heading);
       it != std::sregex_iterator(); ++it) {
    anchors.push_back((*it)[1]);
  }
  std::vector<std::string> recorded;
  for (const json& section : Document()["sections"]) recorded.push_back(section["anchor"]);
  EXPECT_EQ(recorded, anchors);

  json scenario = Demo();
  json offline;
  for (const json& item :
       Rule(scenario, "EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helpfile")["results"]) {
    if (item.contains("error")) offline = item["error"];
  }
  for (const json& section : Document()["sections"]) {
    const std::string anchor = section["anchor"];
    if (anchor == "Databases") {
      EXPECT_EQ(section["status"], "error");
      ASSERT_EQ(section["errors"].size(), 1u);
      EXPECT_EQ(section["errors"][0]["number"], offline["number"]);
      EXPECT_EQ(section["errors"][0]["message"], offline["text"]);
      // FreeTDS passes on the class (under the state's field) and the line; never the state.
      EXPECT_EQ(section["errors"][0]["class"], offline["class"]);
      EXPECT_EQ(section["errors"][0]["line"], offline["line"]);
      EXPECT_FALSE(section["errors"][0].contains("state"));
      EXPECT_EQ(section["reason"], offline["text"]);
    } else if (anchor == "TargetServers") {
      EXPECT_EQ(section["status"], "empty");
    } else {
      EXPECT_EQ(section["status"], "ok") << anchor;
      EXPECT_FALSE(section.contains("reason")) << anchor;
    }
  }
  EXPECT_EQ(Document()["coverage"]["exceptions"], 1);
  EXPECT_EQ(Document()["runInterrupted"], nullptr);
}

TEST_F(DemoSnapshot, KeepsTheRowsTheServerSentAsTypedValues) {
  json scenario = Demo();
  // Each batch with the result of it that is compared; a later result is read apart from the
  // first.
  for (const auto& [command, n] : std::vector<std::pair<std::string, std::size_t>>{
           {"exec master..sp_configure", 0},
           {"exec master..sp_helplogins", 0},
           {"exec master..sp_helplogins", 1},
           {"EXEC master..sp_helpreplicationdboption", 0},
           {"exec master..xp_msver", 0},
           {"select crdate \"SQL Server Started\"", 0}}) {
    const json& rule = Rule(scenario, command);
    const json& sent = rule["results"][n]["rows"];
    const json& got = ResultOf(Document(), rule["sql"], n);
    ASSERT_EQ(got["columns"].size(), sent["columns"].size()) << command;
    for (std::size_t c = 0; c < sent["columns"].size(); ++c) {
      EXPECT_EQ(got["columns"][c]["name"], sent["columns"][c]["name"]) << command;
    }
    ASSERT_EQ(got["rows"].size(), sent["data"].size()) << command;
    for (std::size_t r = 0; r < sent["data"].size(); ++r) {
      for (std::size_t c = 0; c < sent["columns"].size(); ++c) {
        const std::string type = sent["columns"][c]["type"];
        // char(n) comes blank-padded, as SQL Server sends it.
        json want = Expected(sent["data"][r][c], type);
        if (type.starts_with("char(") && want.is_string()) {
          want = want.get<std::string>().append(
              std::stoul(type.substr(5)) - want.get<std::string>().size(), ' ');
        }
        EXPECT_EQ(got["rows"][r][c], want) << command << " row " << r << " column " << c;
      }
    }
  }
  EXPECT_EQ(ResultOf(Document(), "exec master..sp_configure")["columns"][1]["type"], "int");
  EXPECT_EQ(ResultOf(Document(), "exec master..sp_helplogins")["columns"][1]["type"],
            "varbinary(85)");
}

TEST_F(DemoSnapshot, NamesTheServerAndEndsWithTheLedger) {
  json scenario = Demo();
  const json& server = Document()["server"];
  EXPECT_EQ(server["name"], scenario["server"]["name"]);
  EXPECT_EQ(server["version"], scenario["server"]["version"]);
  EXPECT_EQ(server["databases"],
            Rule(scenario, "exec master..sp_helpdb")["results"][0]["rows"]["data"].size());
  EXPECT_EQ(server["instance"], nullptr);  // a default instance

  // One line per section that is not ok, with its reason, then the counts; the JSON says the same.
  const std::string& err = snapshot_->run.err;
  const json& notOk = Document()["coverage"]["notOk"];
  ASSERT_EQ(notOk.size(), 2u);
  for (const json& section : notOk) {
    const std::string line = "  " + section["heading"].get<std::string>() + ": " +
                             section["status"].get<std::string>() + " (" +
                             section["reason"].get<std::string>() + ")\n";
    EXPECT_NE(err.find(line), std::string::npos) << line << err;
  }
  EXPECT_NE(err.find("Sections: 14 of 14 reached; 12 ok, 1 empty, 1 error, 0 skipped, "
                     "0 interrupted.\n"),
            std::string::npos)
      << err;
}

TEST(Snapshot, NamesTheSettingThatSwitchedASectionOff) {
  sqlsim::Server server(sqlsim::DemoScenario());
  server.Start();
  const Snapshot snapshot =
      RunWithSnapshot(server, "settings", {"--no-cmdshell", "--no-replication"});
  const json& document = snapshot.document;
  EXPECT_EQ(document["settings"]["AllowCmdShell"], false);
  EXPECT_EQ(Section(document, "ScheduledWindowsJobs")["status"], "skipped");
  EXPECT_EQ(Section(document, "ScheduledWindowsJobs")["reason"], "AllowCmdShell is off");
  EXPECT_EQ(Section(document, "Replication")["skipped"], json::array({"IgnoreReplicationSection"}));
  EXPECT_EQ(Section(document, "Replication")["status"], "skipped");
  // Only a part of it is off: what the rest got decides.
  EXPECT_EQ(Section(document, "GeneralInformation")["skipped"], json::array({"AllowCmdShell"}));
  EXPECT_EQ(Section(document, "GeneralInformation")["status"], "ok");
  EXPECT_NE(snapshot.run.err.find("  Scheduled Windows Jobs: skipped (AllowCmdShell is off)\n"),
            std::string::npos);
}

TEST(Snapshot, OneThatCannotBeWrittenLeavesTheReportAndSaysSo) {
  sqlsim::Server server(sqlsim::DemoScenario());
  server.Start();
  const std::filesystem::path nowhere = OutputPath("no-folder") / "demo.json";
  const CommandRun run = RunCommand(server, "unwritable", {"--json", nowhere.string()});
  EXPECT_EQ(run.exitCode, cli::kReportNotWritten);
  EXPECT_NE(run.html.find("</html>"), std::string::npos) << "the report was not written";
  EXPECT_NE(run.err.find("quorvane-report: the snapshot could not be written: "), std::string::npos)
      << run.err;
}

TEST(Snapshot, MarksWhereTheConnectionWasLost) {
  json scenario = Demo();
  json& devices = Rule(scenario, "exec master..sp_helpdevice")["results"];
  devices.insert(devices.begin(), json{{"drop", true}});
  {
    // Once: re-established, the section lacks what the query would have shown; the run goes on.
    sqlsim::Server server(scenario.dump());
    server.Start();
    const json document = RunWithSnapshot(server, "lost-once").document;
    EXPECT_EQ(Section(document, "DatabaseDevices")["status"], "interrupted");
    EXPECT_EQ(document["coverage"]["sectionsReached"], 14);
    EXPECT_EQ(document["runInterrupted"], nullptr);
  }
  scenario["faults"] = {{"refuseLoginsAfterDrop", true}};
  sqlsim::Server server(scenario.dump());
  server.Start();
  const Snapshot gone = RunWithSnapshot(server, "lost-for-good");
  EXPECT_EQ(gone.run.exitCode, cli::kReportFailed);
  const json& document = gone.document;
  EXPECT_EQ(document["sections"].back()["anchor"], "DatabaseDevices");
  EXPECT_EQ(document["sections"].back()["status"], "interrupted");
  EXPECT_EQ(document["runInterrupted"], document["sections"].back()["reason"]);
  EXPECT_LT(document["coverage"]["sectionsReached"], document["coverage"]["sectionsExpected"]);
  EXPECT_NE(gone.run.err.find("The run ended early: "), std::string::npos) << gone.run.err;
}

}  // namespace
}  // namespace quorvane::e2e
