// "quorvane-report diff" over snapshots of two simulated servers: the demo instance, and one that
// drifted from it (an option changed, a login added, a database dropped, a job renamed, and a
// size that grew by itself).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "cli/report_command.h"
#include "e2e_support.h"

namespace quorvane::e2e {
namespace {

using nlohmann::json;

constexpr const char* kNewLogin = "QUORVANE\\<i>auditor</i>";
constexpr const char* kDroppedDatabase = "SalesDemo";
constexpr const char* kOption = "max server memory (MB)";

json& Rows(json& scenario, const std::string& sql, std::size_t n = 0) {
  for (json& rule : scenario["batches"]) {
    if (rule.value("sql", rule.value("pattern", "")).starts_with(sql)) {
      return rule["results"][n]["rows"];
    }
  }
  throw std::runtime_error("no demo rule starts with " + sql);
}

json& JobRows(json& scenario) {
  for (json& rule : scenario["batches"]) {
    for (json& result : rule["results"]) {
      if (result.contains("rows") &&
          result["rows"]["columns"].dump().find("current_execution_status") != std::string::npos) {
        return result["rows"];
      }
    }
  }
  throw std::runtime_error("no job rows in the demo");
}

struct Outcome {
  int status;
  std::string out;
  std::string err;
  std::string html;
};

Outcome Diff(std::vector<std::string> args) {
  const std::filesystem::path output = OutputPath("drift");
  args.insert(args.begin(), "diff");
  args.insert(args.end(), {"-o", output.string()});
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  const int status = cli::RunReportCommand(args, in, out, err);
  Outcome outcome{status, out.str(), err.str(), ReadFile(output)};
  std::filesystem::remove(output);
  return outcome;
}

// The part of a drift report about one kind of result, up to the next.
std::string Table(const std::string& html, const std::string& label) {
  const std::size_t start = html.find("<h3>" + label + ":</h3>");
  if (start == std::string::npos) return {};
  return html.substr(start, html.find("<h3>", start + 1) - start);
}

std::string Cell(const json& value) {
  return value.is_string() ? value.get<std::string>() : value.dump();
}

class Drift : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const json demo = json::parse(sqlsim::DemoScenario());
    json drifted = demo;
    for (json& row : Rows(drifted, "exec master..sp_configure")["data"]) {
      if (row[0] == kOption) {
        oldValue_ = row[3];
        row[3] = row[4] = row[3].get<int>() + 1024;
        newValue_ = row[3];
      }
    }
    json& logins = Rows(drifted, "exec master..sp_helplogins")["data"];
    json login = logins.back();
    login[0] = kNewLogin;
    logins.push_back(login);
    json& databases = Rows(drifted, "exec master..sp_helpdb")["data"];
    for (std::size_t i = 0; i < databases.size(); ++i) {
      if (databases[i][0] == kDroppedDatabase) databases.erase(i);
    }
    // Its files and space leave the walk with it: the sp_helpfile result before its
    // sp_spaceused results.
    for (json& rule : drifted["batches"]) {
      if (!rule.value("sql", "").starts_with("EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helpfile")) {
        continue;
      }
      json& results = rule["results"];
      for (std::size_t i = 1; i + 1 < results.size(); ++i) {
        const json& rows = results[i].value("rows", json::object());
        if (rows.contains("columns") && rows["columns"][0]["name"] == "database_name" &&
            rows["data"][0][0] == kDroppedDatabase) {
          droppedFiles_ = results[i - 1]["rows"]["data"].size();
          results.erase(results.begin() + static_cast<long>(i) - 1,
                        results.begin() + static_cast<long>(i) + 2);
          break;
        }
      }
    }
    json& job = JobRows(drifted)["data"][0][0];
    oldJob_ = job;
    job = job.get<std::string>() + " (renamed)";
    // A size that grows by itself, which only --all compares.
    for (json& row : Rows(drifted, "exec master..sp_helpdb")["data"]) {
      if (row[0] == "master") row[1] = "    999.00 MB";
    }

    using Side = std::pair<const json*, std::filesystem::path*>;
    for (const auto& [scenario, path] :
         {Side{&demo, &oldSnapshot_}, Side{&drifted, &newSnapshot_}}) {
      sqlsim::Server server(scenario->dump());
      server.Start();
      *path = OutputPath("snapshot").replace_extension(".json");
      const CommandRun run = RunCommand(server, "drift", {"--json", path->string()});
      ASSERT_EQ(run.exitCode, cli::kReportWithExceptions) << run.err;
    }
  }
  static void TearDownTestSuite() {
    std::filesystem::remove(oldSnapshot_);
    std::filesystem::remove(newSnapshot_);
  }

  static inline std::filesystem::path oldSnapshot_;
  static inline std::filesystem::path newSnapshot_;
  static inline json oldValue_;
  static inline json newValue_;
  static inline json oldJob_;
  static inline std::size_t droppedFiles_ = 0;
};

TEST_F(Drift, ShowsEachChangeAndCountsIt) {
  const Outcome drift = Diff({oldSnapshot_.string(), newSnapshot_.string()});
  EXPECT_EQ(drift.status, 1) << drift.err;
  const std::string& html = drift.html;
  // The option's row, its changed cells shown old -> new.
  const std::string change =
      "<td class=\"Changed\">" + Cell(oldValue_) + " &rarr; " + Cell(newValue_) + "</td>";
  EXPECT_EQ(CountOf(html, change), 2u) << "config_value and run_value";
  EXPECT_NE(html.find("<td>" + std::string(kOption) + "</td>"), std::string::npos);
  // The new login, escaped like every value from the server.
  EXPECT_NE(html.find("<tr class=\"Added\">\n<td>QUORVANE\\&lt;i&gt;auditor&lt;/i&gt;</td>"),
            std::string::npos);
  EXPECT_EQ(html.find("<i>auditor"), std::string::npos);
  // The dropped database, in sp_helpdb and in sp_spaceused; its files went with it.
  const std::string gone = "<tr class=\"Removed\">\n<td>" + std::string(kDroppedDatabase) + "</td>";
  EXPECT_NE(Table(html, "Databases (sp_helpdb)").find(gone), std::string::npos);
  EXPECT_NE(Table(html, "Database space (sp_spaceused)").find(gone), std::string::npos);
  EXPECT_EQ(CountOf(Table(html, "Database files (sp_helpfile)"), "<tr class=\"Removed\">"),
            droppedFiles_);
  // A renamed job is one job gone and another come: rows are matched by the job's name.
  EXPECT_NE(html.find("<tr class=\"Removed\">\n<td>" + Cell(oldJob_) + "</td>"), std::string::npos);
  EXPECT_NE(html.find("<tr class=\"Added\">\n<td>" + Cell(oldJob_) + " (renamed)</td>"),
            std::string::npos);
  // The renamed job had failed: its finding is matched by id and subject, so one went, one came.
  const std::string findings = Table(html, "Findings");
  EXPECT_NE(findings.find("<tr class=\"Removed\">\n<td>job_last_run_failed</td>\n<td>" +
                          Cell(oldJob_) + "</td>"),
            std::string::npos)
      << findings;
  EXPECT_NE(findings.find("<tr class=\"Added\">\n<td>job_last_run_failed</td>\n<td>" +
                          Cell(oldJob_) + " (renamed)</td>"),
            std::string::npos);
  // The dropped database took its finding (data and log on one drive) with it.
  EXPECT_NE(findings.find("<tr class=\"Removed\">\n<td>data_log_same_drive</td>\n<td>" +
                          std::string(kDroppedDatabase) + "</td>"),
            std::string::npos);
  const std::size_t removed = 2 + droppedFiles_ + 1 + 2;
  EXPECT_NE(drift.out.find("3 row(s) added, " + std::to_string(removed) + " removed, 1 changed."),
            std::string::npos)
      << drift.out;
  EXPECT_NE(html.find("<td><b>Rows removed</b></td>\n<td>" + std::to_string(removed) + "</td>"),
            std::string::npos);
  EXPECT_EQ(html.find("999.00 MB"), std::string::npos) << "a volatile size was compared";
}

TEST_F(Drift, ComparesVolatileValuesOnlyWhenAskedTo) {
  const Outcome all = Diff({oldSnapshot_.string(), newSnapshot_.string(), "--all"});
  EXPECT_EQ(all.status, 1);
  EXPECT_NE(all.html.find("&rarr;     999.00 MB</td>"), std::string::npos);
  EXPECT_NE(all.out.find("2 changed."), std::string::npos) << all.out;
  const Outcome same = Diff({oldSnapshot_.string(), oldSnapshot_.string(), "--all"});
  EXPECT_EQ(same.status, 0) << same.out;
  EXPECT_NE(same.html.find("<b>No drift.</b>"), std::string::npos);
}

TEST_F(Drift, RefusesWhatIsNotASnapshotItCanRead) {
  const std::filesystem::path bad = OutputPath("bad").replace_extension(".json");
  for (const auto& [content, said] : std::vector<std::pair<std::string, std::string>>{
           {"<html></html>", "is not a Quorvane snapshot: it is not JSON"},
           {R"({"format": "something-else"})", "is not a Quorvane snapshot"},
           {R"({"format": "quorvane-snapshot", "formatVersion": 99, "sections": []})",
            "is a snapshot of format version 99, which this program cannot read"}}) {
    std::ofstream(bad, std::ios::binary) << content;
    const Outcome outcome = Diff({oldSnapshot_.string(), bad.string()});
    EXPECT_EQ(outcome.status, cli::kBadCommandLine) << content;
    EXPECT_NE(outcome.err.find(bad.string() + " " + said), std::string::npos) << outcome.err;
  }
  std::filesystem::remove(bad);
}

}  // namespace
}  // namespace quorvane::e2e
