// The findings of a real run through the driver, on the demo instance with findings and near
// misses planted: the snapshot's list and its evidence, the report's section, the summary line.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "e2e_support.h"

namespace quorvane::e2e {
namespace {

using nlohmann::json;

json& RuleOf(json& scenario, const std::string& start) {
  for (json& rule : scenario["batches"]) {
    if (rule.value("sql", rule.value("pattern", "")).starts_with(start)) return rule;
  }
  throw std::runtime_error("no demo rule starts with " + start);
}

json& Rows(json& rule, std::size_t result = 0) {
  std::size_t n = 0;
  for (json& item : rule["results"]) {
    if (item.contains("rows") && n++ == result) return item["rows"]["data"];
  }
  throw std::runtime_error("no such result");
}

json& RowNamed(json& rows, const std::string& name) {
  for (json& row : rows) {
    if (row[0] == name) return row;
  }
  throw std::runtime_error("no row " + name);
}

// The demo with findings and, beside each, a value that just misses.
std::string PlantedScenario() {
  json scenario = json::parse(sqlsim::DemoScenario());
  RuleOf(scenario,
         "Select SERVERPROPERTY('ProductVersion')")["results"][0]["rows"]["data"][0][0]["value"] =
      "12.0.6024.0";  // SQL Server 2014: out of support since 2024-07-09
  json& options = Rows(RuleOf(scenario, "exec master..sp_configure"));
  RowNamed(options, "max server memory (MB)")[3] = 2147483647;
  RowNamed(options, "max server memory (MB)")[4] = 2147483647;
  RowNamed(options, "cost threshold for parallelism")[3] = 6;  // just beside the default 5
  RowNamed(options, "cost threshold for parallelism")[4] = 6;
  RowNamed(options, "Ole Automation Procedures")[4] = 0;  // on only once restarted
  json& databases = Rows(RuleOf(scenario, "exec master..sp_helpdb"));
  RowNamed(databases, "SalesDemo")[5] = "Status=ONLINE, IsAutoClose, IsAutoCreateStatistics";
  RowNamed(databases, "SalesDemo")[6] = 120;  // the server's own level now
  json& walk = RuleOf(scenario, "EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helpfile");
  for (json& item : walk["results"]) {
    if (!item.contains("rows")) continue;
    for (json& file : item["rows"]["data"]) {
      if (file[0] == "SalesDemo_Archive") file[6] = "10%";  // 1,048,576 KB: large
      if (file[0] == "MSDBData") file[4] = "1048575 KB";    // one short of large
    }
  }
  json& drives = Rows(RuleOf(scenario, "SET NOCOUNT ON"));
  drives[0][3] = 9;
  drives[1][3] = 20;
  json& jobs = Rows(RuleOf(scenario, "DECLARE @is_sysadmin INT"));
  jobs[0][0] = "ETL <Orders> & \"Co\"";
  jobs[2][2] = 0;  // disabled, and failed
  jobs[2][20] = 0;
  return scenario.dump();
}

class PlantedFindings : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = std::make_unique<sqlsim::Server>(PlantedScenario());
    server_->Start();
  }
  static void TearDownTestSuite() { server_.reset(); }

  struct Run {
    CommandRun command;
    json snapshot;
  };
  static Run RunWith(std::vector<std::string> options) {
    const std::filesystem::path path = OutputPath("findings-snapshot");
    options.insert(options.end(), {"--json", path.string()});
    Run run{RunCommand(*server_, "findings", options), json()};
    if (std::filesystem::exists(path)) run.snapshot = json::parse(ReadFile(path));
    std::filesystem::remove(path);
    return run;
  }

  static std::unique_ptr<sqlsim::Server> server_;
};

std::unique_ptr<sqlsim::Server> PlantedFindings::server_;

std::multiset<std::string> Found(const json& snapshot) {
  std::multiset<std::string> found;
  for (const json& finding : snapshot["findings"]) {
    found.insert(finding["id"].get<std::string>() + ":" + finding["subject"].get<std::string>());
  }
  return found;
}

TEST_F(PlantedFindings, FindsWhatWasPlantedAndPointsAtItsEvidence) {
  const Run run = RunWith({"--findings"});
  ASSERT_EQ(run.command.exitCode, 1) << run.command.err;
  EXPECT_EQ(Found(run.snapshot), (std::multiset<std::string>{
                                     "version_out_of_support:",
                                     "disk_low_free:C",
                                     "xp_cmdshell_enabled:xp_cmdshell",
                                     "database_not_online:Archive2012",
                                     "max_server_memory_default:max server memory (MB)",
                                     "config_pending_restart:Ole Automation Procedures",
                                     "config_pending_restart:min server memory (MB)",
                                     "job_last_run_failed:ETL <Orders> & \"Co\"",
                                     "database_auto_close:SalesDemo",
                                     "file_percent_growth_large:SalesDemo",
                                     "database_compat_below_server:Archive2012",
                                     "data_log_same_drive:SalesDemo",
                                 }));
  // By severity, and each one's evidence is the row of the snapshot that holds its subject.
  std::string last = "high";
  for (const json& finding : run.snapshot["findings"]) {
    const std::string severity = finding["severity"];
    EXPECT_TRUE(severity == last || (last == "high" && severity != "high") ||
                (last == "medium" && severity == "low"))
        << severity << " after " << last;
    last = severity;
    const json* section = nullptr;
    for (const json& s : run.snapshot["sections"]) {
      if (s["anchor"] == finding["section"]) section = &s;
    }
    ASSERT_NE(section, nullptr) << finding["section"];
    const json& row = (*section)["resultSets"][finding["evidence"]["resultSet"].get<std::size_t>()]
                                ["rows"][finding["evidence"]["row"].get<std::size_t>()];
    const std::string subject = finding["subject"];
    const std::string id = finding["id"];
    if (id == "version_out_of_support") {
      EXPECT_EQ(row[0], "12.0.6024.0");
    } else if (id == "file_percent_growth_large") {
      EXPECT_EQ(row[0], "SalesDemo_Archive");
    } else if (id == "data_log_same_drive") {
      EXPECT_EQ(row[0], "SalesDemo_log");
    } else {
      EXPECT_EQ(row[0], subject) << id;
    }
  }
  EXPECT_NE(run.command.err.find("Findings: 4 high, 4 medium, 4 low.\n"), std::string::npos)
      << run.command.err;

  // The section stands after the last one and before the footer, escaped, linking to each
  // finding's section.
  const std::string& html = run.command.html;
  const std::size_t at = html.find("<a name=\"Findings\"></a><h2>Findings:</h2>");
  ASSERT_NE(at, std::string::npos);
  EXPECT_LT(html.find("<a name=\"Replication\">"), at);
  EXPECT_LT(at, html.find("<a name=\"PageBottom\">"));
  EXPECT_EQ(CountOf(html.substr(at), "<tr>"), 13u);
  EXPECT_NE(html.find("Job ETL &lt;Orders&gt; &amp; &quot;Co&quot; failed", at), std::string::npos);
  EXPECT_EQ(html.find("<Orders>"), std::string::npos);
  EXPECT_NE(html.find("<a href=\"#Databases\">Databases</a>", at), std::string::npos);
}

TEST_F(PlantedFindings, ASwitchedOffSectionGivesNoneAndTheReportHasNoSection) {
  const Run run = RunWith({"--no-ole-automation", "--no-cmdshell"});
  const std::multiset<std::string> found = Found(run.snapshot);
  EXPECT_EQ(found.count("disk_low_free:C"), 0u);
  EXPECT_EQ(found.count("xp_cmdshell_enabled:xp_cmdshell"), 1u);  // read from sp_configure
  EXPECT_EQ(found.size(), 11u);
  EXPECT_EQ(run.command.html.find("Findings"), std::string::npos);
  EXPECT_NE(run.command.err.find("Findings: 3 high, 4 medium, 4 low.\n"), std::string::npos);
}

}  // namespace
}  // namespace quorvane::e2e
