// The whole report against the simulator's demo instance, through the real ODBC driver: the
// report command as a user runs it, and the same run with the simulator's batch log at hand.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/report_command.h"
#include "connection/connection_string.h"
#include "connection/odbc_connection_string.h"
#include "data/odbc/odbc_connection.h"
#include "e2e_support.h"
#include "report/report_run.h"
#include "sections/outline.h"
#include "sqlserver_sim/scenario.h"
#include "sqlserver_sim/server.h"

namespace quorvane {
namespace {

using e2e::CountOf;
using e2e::OutputPath;
using e2e::ReadFile;
using e2e::RunCommand;
using e2e::ServerText;

constexpr const char* kErrorBlockStart = "<div class=\"ExceptionError\">";
constexpr const char* kDemoLogin = sqlsim::kDemoLogin;
constexpr const char* kDemoPassword = sqlsim::kDemoPassword;

// The outline's sections, in order (the h2 headings the report run writes).
const std::vector<std::string> kSections = {
    "General Information:",
    "SQL Server Statistics (Since SQL Server started):",
    "Scheduled Windows Jobs:",
    "SQL Server Information:",
    "Linked Servers:",
    "Target Servers:",
    "Operators:",
    "Alerts:",
    "SQL Jobs:",
    "Database Devices:",
    "Databases:",
    "Fixed Database Roles:",
    "Logins and Access Levels:",
    "Database Replication:",
};

// Sections that hold no table or pre block by design: the statistics are sentences, and the
// demo instance is no multi-server master, so it has no target servers.
const std::vector<std::string> kSectionsWithoutTables = {
    "SQL Server Statistics (Since SQL Server started):",
    "Target Servers:",
};

// Sub-sections (h3) that the demo instance legitimately leaves empty: each shows "None." as
// many times as it has procedures. It has no orphaned Windows logins and takes no part in
// replication.
const std::vector<std::pair<std::string, int>> kEmptySubsections = {
    {"Orphaned Windows Users or Groups:", 1},
    {"Publishers that serve as their own Distributor:", 1},
    {"Publications:", 2},
    {"Subscriptions:", 2},
    {"Subscribers:", 2},
    {"Replication Statistics:", 1},
    {"Agent Profiles:", 1},
};

// Sub-sections that are sentences by design.
const std::vector<std::string> kTextSubsections = {
    "Version:",        "Attributes:", "SQL Server Started:", "SQL Server Service Name:",
    "Login Activity:", "Work:",       "Disk Activity:",      "Network Activity:",
};

// What the switched-off settings keep from the server, as the batches name it.
const std::vector<std::string> kCmdShellAndOleWords = {"xp_cmdshell", "sp_OA", "xp_fixeddrives"};
const std::vector<std::string> kReplicationProcedures = {
    "sp_helpreplicationdboption",     "sp_helpdistributor",      "sp_helpdistributiondb",
    "sp_helpdistpublisher",           "sp_helppublication",      "sp_helpmergepublication",
    "sp_helpmergepullsubscription",   "sp_helppullsubscription", "sp_helpsubscriberinfo",
    "sp_helpsubscription_properties", "sp_replcounters",         "sp_help_agent_profile",
};

bool ContainsText(const std::string& text, const std::string& what) {
  return text.find(what) != std::string::npos;
}

// A cell with something visible in it.
bool HasFilledTable(const std::string& html) {
  static const std::regex cell(R"(<td>\s*[^<\s][^<]*</td>)");
  return std::regex_search(html, cell);
}

// A pre block with something visible in it.
bool HasFilledPre(const std::string& html) {
  for (auto open = html.find("<pre>"); open != std::string::npos;
       open = html.find("<pre>", open + 1)) {
    const auto close = html.find("</pre>", open);
    if (close == std::string::npos) return false;
    const std::string inside = html.substr(open + 5, close - open - 5);
    if (inside.find_first_not_of(" \t\r\n") != std::string::npos) return true;
  }
  return false;
}

struct Part {
  std::string heading;
  std::string body;  // from after the heading to the next heading of the same level
};

// The parts of `html` under each `tag` heading (h2 or h3); `end` closes the last one.
std::vector<Part> SplitAt(const std::string& html, const std::string& tag, std::size_t end) {
  const std::string open = "<" + tag + ">";
  const std::string close = "</" + tag + ">";
  std::vector<Part> parts;
  std::size_t pos = html.find(open);
  while (pos != std::string::npos && pos < end) {
    const std::size_t headingEnd = html.find(close, pos);
    if (headingEnd == std::string::npos) break;
    Part part;
    part.heading = html.substr(pos + open.size(), headingEnd - pos - open.size());
    const std::size_t bodyStart = headingEnd + close.size();
    std::size_t next = html.find(open, bodyStart);
    if (next == std::string::npos || next > end) next = end;
    part.body = html.substr(bodyStart, next - bodyStart);
    parts.push_back(std::move(part));
    pos = next < end ? next : std::string::npos;
  }
  return parts;
}

const Part* Find(const std::vector<Part>& parts, const std::string& heading) {
  for (const Part& p : parts) {
    if (p.heading == heading) return &p;
  }
  return nullptr;
}

std::vector<Part> Sections(const std::string& html) {
  const std::size_t footer = html.find("<a name=\"PageBottom\">");
  return SplitAt(html, "h2", footer == std::string::npos ? html.size() : footer);
}

std::vector<Part> Subsections(const std::vector<Part>& sections) {
  std::vector<Part> all;
  for (const Part& section : sections) {
    for (Part& p : SplitAt(section.body, "h3", section.body.size())) all.push_back(std::move(p));
  }
  return all;
}

// The text of every cell of `html`, row by row.
std::vector<std::vector<std::string>> Rows(const std::string& tableHtml) {
  static const std::regex rowPattern(R"(<tr>\n((?:<td>[^<]*</td>\n)+)</tr>)");
  static const std::regex cellPattern(R"(<td>([^<]*)</td>)");
  std::vector<std::vector<std::string>> rows;
  for (auto it = std::sregex_iterator(tableHtml.begin(), tableHtml.end(), rowPattern);
       it != std::sregex_iterator(); ++it) {
    std::vector<std::string> cells;
    const std::string row = (*it)[1];
    for (auto c = std::sregex_iterator(row.begin(), row.end(), cellPattern);
         c != std::sregex_iterator(); ++c) {
      cells.push_back((*c)[1]);
    }
    rows.push_back(std::move(cells));
  }
  return rows;
}

// ---- the report command with --demo -----------------------------------------------------

class DemoReport : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    path_ = new std::filesystem::path(OutputPath("demo"));
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    exitCode_ = cli::RunReportCommand({"--demo", "--output", path_->string()}, in, out, err);
    summary_ = new std::string(out.str());
    progress_ = new std::string(err.str());
    html_ = new std::string(ReadFile(*path_));
  }
  static void TearDownTestSuite() {
    std::filesystem::remove(*path_);
    delete path_;
    delete summary_;
    delete progress_;
    delete html_;
  }

  static const std::string& Html() { return *html_; }

  static std::filesystem::path* path_;
  static int exitCode_;
  static std::string* summary_;
  static std::string* progress_;
  static std::string* html_;
};

std::filesystem::path* DemoReport::path_ = nullptr;
int DemoReport::exitCode_ = -1;
std::string* DemoReport::summary_ = nullptr;
std::string* DemoReport::progress_ = nullptr;
std::string* DemoReport::html_ = nullptr;

TEST_F(DemoReport, CompletesWithExactlyTheOfflineDatabasesException) {
  EXPECT_EQ(exitCode_, cli::kReportWithExceptions) << *progress_;
  EXPECT_TRUE(ContainsText(*summary_, "with 1 exception(s).")) << *summary_;
  EXPECT_EQ(CountOf(Html(), kErrorBlockStart), 1u);
}

TEST_F(DemoReport, EndsWithFooterAndClosingTags) {
  const std::size_t footer = Html().find("<a name=\"PageBottom\">");
  ASSERT_NE(footer, std::string::npos) << "no footer: the report did not complete";
  const std::size_t body = Html().find("</body>", footer);
  ASSERT_NE(body, std::string::npos);
  EXPECT_NE(Html().find("</html>", body), std::string::npos);
  const std::string tail = Html().substr(Html().size() - std::min<std::size_t>(Html().size(), 32));
  EXPECT_TRUE(tail.ends_with("</body>\r\n</html>\r\n")) << tail;
}

TEST_F(DemoReport, HasEverySectionOfTheOutlineInOrder) {
  std::vector<std::string> headings;
  for (const Part& p : Sections(Html())) headings.push_back(p.heading);
  EXPECT_EQ(headings, kSections);
}

TEST_F(DemoReport, EverySectionHoldsAFilledTableOrPreBlock) {
  for (const Part& section : Sections(Html())) {
    const bool exempt = std::find(kSectionsWithoutTables.begin(), kSectionsWithoutTables.end(),
                                  section.heading) != kSectionsWithoutTables.end();
    if (exempt) continue;
    EXPECT_TRUE(HasFilledTable(section.body) || HasFilledPre(section.body))
        << "section without a filled table or pre block: " << section.heading;
  }
}

TEST_F(DemoReport, SubsectionsAreFilledExceptThoseTheInstanceLeavesEmpty) {
  const std::vector<Part> subsections = Subsections(Sections(Html()));
  ASSERT_FALSE(subsections.empty());
  for (const Part& sub : subsections) {
    const auto empty = std::find_if(kEmptySubsections.begin(), kEmptySubsections.end(),
                                    [&](const auto& e) { return e.first == sub.heading; });
    const bool text = std::find(kTextSubsections.begin(), kTextSubsections.end(), sub.heading) !=
                      kTextSubsections.end();
    if (empty != kEmptySubsections.end()) {
      EXPECT_EQ(CountOf(sub.body, "None.\n"), static_cast<std::size_t>(empty->second))
          << sub.heading << sub.body;
      EXPECT_FALSE(HasFilledTable(sub.body)) << sub.heading;
    } else if (text) {
      EXPECT_FALSE(ContainsText(sub.body, "None.")) << sub.heading << sub.body;
    } else if (sub.heading == "Distributors:") {
      // Without a distributor, sp_helpdistributor answers one row of NULLs.
      EXPECT_TRUE(ContainsText(sub.body, "<b>sp_HelpDistributor:</b> \r\n<table")) << sub.body;
      EXPECT_TRUE(ContainsText(sub.body, "<b>sp_HelpDistributionDB:</b> \r\nNone.\n")) << sub.body;
    } else {
      EXPECT_TRUE(HasFilledTable(sub.body) || HasFilledPre(sub.body))
          << "sub-section without a filled table or pre block: " << sub.heading;
      EXPECT_FALSE(ContainsText(sub.body, "None.")) << sub.heading;
    }
  }
  for (const auto& [heading, count] : kEmptySubsections) {
    EXPECT_NE(Find(subsections, heading), nullptr) << heading;
  }
}

TEST_F(DemoReport, TargetServersShowNoneAfterBothLabels) {
  const std::vector<Part> sections = Sections(Html());
  const Part* targets = Find(sections, "Target Servers:");
  ASSERT_NE(targets, nullptr);
  EXPECT_TRUE(ContainsText(targets->body, "<b>sp_Help_TargetServer:</b> \r\nNone.\n"))
      << targets->body;
  EXPECT_TRUE(ContainsText(targets->body, "<b>sp_Help_TargetServerGroup:</b> \r\nNone.\n"))
      << targets->body;
  EXPECT_FALSE(ContainsText(targets->body, kErrorBlockStart));
}

TEST_F(DemoReport, StatisticsGiveTenGroupedCounters) {
  const std::vector<Part> sections = Sections(Html());
  const Part* statistics = Find(sections, kSections[1]);
  ASSERT_NE(statistics, nullptr);
  const std::vector<std::string> sentences = {
      " logins or attempted logins.<br>",
      " seconds that the server computer's CPU has been doing SQL Server work.<br>",
      " seconds that SQL Server has been idle.<br>",
      " seconds that SQL Server has spent doing input and output operations.<br>",
      " disk reads (non cache).<br>",
      " disk writes.<br>",
      " disk read/write errors.<br>",
      " network packets received by SQL Server.<br>",
      " network packets sent by SQL Server.<br>",
      " network packet errors encountered whilst sending/receiving.<br>",
  };
  for (const std::string& sentence : sentences) {
    const std::size_t at = statistics->body.find(sentence);
    ASSERT_NE(at, std::string::npos) << sentence;
    const std::size_t lineStart = statistics->body.rfind('\n', at) + 1;
    const std::string number = statistics->body.substr(lineStart, at - lineStart);
    EXPECT_TRUE(std::regex_match(number, std::regex(R"(\d{1,3}(,\d{3})*)"))) << number << sentence;
  }
}

TEST_F(DemoReport, OfflineDatabaseIsOneErrorBlockBetweenTheDatabaseFileTables) {
  const std::vector<Part> sections = Sections(Html());
  const Part* databases = Find(sections, "Databases:");
  ASSERT_NE(databases, nullptr);
  const std::string& body = databases->body;

  // sp_helpdb comes first: one row per database, the offline one among them.
  const std::size_t firstTableEnd = body.find("</table>");
  ASSERT_NE(firstTableEnd, std::string::npos);
  std::string offline;
  std::size_t online = 0;
  for (const auto& row : Rows(body.substr(0, firstTableEnd))) {
    ASSERT_GE(row.size(), 6u);
    if (row[5].starts_with("Status=OFFLINE")) offline = row[0];
    if (row[5].starts_with("Status=ONLINE")) ++online;
  }
  ASSERT_FALSE(offline.empty()) << "sp_helpdb lists no offline database";
  ASSERT_GT(online, 1u);

  const std::size_t error = body.find(kErrorBlockStart);
  ASSERT_NE(error, std::string::npos) << "no error block in the Databases section";
  EXPECT_EQ(body.find(kErrorBlockStart, error + 1), std::string::npos);
  const std::string block = body.substr(error, body.find("</div>", error) - error);
  EXPECT_TRUE(
      ContainsText(block, "Database '" + offline + "' cannot be opened because it is offline."))
      << block;

  // sp_helpfileALL: three tables per online database, "<hr>" between databases, and the
  // error where the walk met the offline database, with databases on both sides of it.
  const std::string walk = body.substr(firstTableEnd + 8);
  const std::size_t errorInWalk = walk.find(kErrorBlockStart);
  const std::size_t tablesBefore = CountOf(walk.substr(0, errorInWalk), "<table");
  const std::size_t tablesAfter = CountOf(walk.substr(errorInWalk), "<table");
  EXPECT_EQ(tablesBefore + tablesAfter, 3 * online);
  EXPECT_GT(tablesBefore, 0u);
  EXPECT_GT(tablesAfter, 0u);
  EXPECT_EQ(tablesBefore % 3, 0u) << "the error splits a database's tables";
  EXPECT_EQ(CountOf(walk, "<hr>"), online - 1);
  const std::size_t previousTableEnd = walk.rfind("</table>", errorInWalk);
  ASSERT_NE(previousTableEnd, std::string::npos);
  EXPECT_EQ(walk.substr(previousTableEnd, errorInWalk - previousTableEnd), "</table>\n");
  const std::size_t afterBlock = walk.find("</div>\n", errorInWalk) + 7;
  EXPECT_EQ(walk.substr(afterBlock, 11), "<hr>\n<table");
}

TEST_F(DemoReport, SendsNoBatchTheInstanceDoesNotKnow) {
  EXPECT_FALSE(ContainsText(Html(), "Could not find stored procedure"));
  EXPECT_FALSE(ContainsText(Html(), "Invalid object name"));
}

// ---- the same instance with the batch log at hand ---------------------------------------

class RecordingHost : public report::ReportHost {
 public:
  void ProcessEvents() override {}
  void SetRunControlsEnabled(bool) override {}
  void SetStatusText(const std::string& text) override { status = text; }
  void StartProgress() override {}
  void StopProgress() override {}
  void RestoreDefaultCursor() override {}
  void ShowWarning(const std::string& caption, const std::string& text) override {
    warnings.push_back(caption + "|" + text);
  }
  void Navigate(const std::string&) override {}
  bool AllowCmdShell() const override { return true; }
  bool AllowOACreate() const override { return true; }
  bool IgnoreReplicationSection() const override { return false; }
  int JobHistory() const override { return jobHistory; }
  int JobHistoryLimit() const override { return jobHistoryLimit; }

  std::string status;
  std::vector<std::string> warnings;
  int jobHistory = 100;
  int jobHistoryLimit = 20;
};

bool AnyBatchNames(const std::vector<std::string>& batches, const std::string& word) {
  return std::any_of(batches.begin(), batches.end(),
                     [&](const std::string& b) { return ContainsText(b, word); });
}

TEST(DemoInstance, KnowsEveryBatchOfAReportWithOtherHistoryCounts) {
  sqlsim::Server server(sqlsim::DemoScenario());
  server.Start();
  data::OdbcConnection SQLServer;
  SQLServer.SetConnectionString(connection::OdbcConnectionString(
      connection::OleDbConnectionString("SQLOLEDB.1", ServerText(server), kDemoLogin,
                                        kDemoPassword),
      data::InstalledOdbcDrivers()));
  RecordingHost host;
  host.jobHistory = 7;
  host.jobHistoryLimit = 3;
  const std::filesystem::path path = OutputPath("history-counts");
  report::ReportRunOptions options;
  options.temporaryReportFile = path;
  const sections::StandardOutline outline;
  report::ReportRun run(SQLServer, host, outline, options);
  run.ResetReportExceptionCount();
  SQLServer.Open([&] { run.GatherInformation(); });
  const std::string html = ReadFile(path);
  std::filesystem::remove(path);

  EXPECT_EQ(run.ReportExceptionCount(), 1);
  EXPECT_EQ(host.status,
            "1 exception(s) found whilst generating the report. The exception(s) are highlighted "
            "in red.");
  EXPECT_EQ(host.warnings,
            std::vector<std::string>{"Warning|There were 1 exception(s) whilst generating the "
                                     "report.\nThe exception(s) are highlighted in red."});
  EXPECT_TRUE(ContainsText(html, "<h3>Job History (Last 7):</h3>"));
  EXPECT_TRUE(ContainsText(html, "<h3>Long Running Jobs (Last 3):</h3>"));

  const std::vector<std::string> batches = server.Batches();
  ASSERT_FALSE(batches.empty());
  EXPECT_TRUE(AnyBatchNames(batches, "select top 7 \r\n"));
  EXPECT_TRUE(AnyBatchNames(batches, "select top 3 \r\n"));
  const sqlsim::Scenario scenario = sqlsim::ParseScenario(sqlsim::DemoScenario());
  for (const std::string& batch : batches) {
    EXPECT_NE(scenario.Find(batch), nullptr) << "the demo instance does not know:\n" << batch;
  }
  // What the switched-off settings leave out does reach the server when they are on.
  for (const std::string& word : kCmdShellAndOleWords) {
    EXPECT_TRUE(AnyBatchNames(batches, word)) << word;
  }
  for (const std::string& procedure : kReplicationProcedures) {
    EXPECT_TRUE(AnyBatchNames(batches, procedure)) << procedure;
  }
}

// On a server with a case-sensitive collation every system name must be written in its own
// case: the whole report then has no error beyond the offline database's. The history limits
// reach the server, which honours TOP.
TEST(DemoInstance, CaseSensitiveServerGivesNoErrorBeyondTheOfflineDatabase) {
  nlohmann::json scenario = nlohmann::json::parse(sqlsim::DemoScenario());
  scenario["server"]["caseSensitive"] = true;
  sqlsim::Server server(scenario.dump());
  server.Start();
  const auto [exitCode, html, err] =
      RunCommand(server, "case-sensitive", {"--job-history", "7", "--job-history-limit", "3"});

  EXPECT_EQ(exitCode, cli::kReportWithExceptions) << err;
  EXPECT_EQ(CountOf(html, kErrorBlockStart), 1u);
  EXPECT_TRUE(ContainsText(html, "cannot be opened because it is offline"));
  EXPECT_FALSE(ContainsText(html, "Invalid column name"));
  EXPECT_FALSE(ContainsText(html, "Invalid object name"));
  EXPECT_FALSE(ContainsText(html, "Could not find stored procedure"));

  // The job-history tables: 7, 3 and 3 rows under their headings.
  for (const auto& [heading, rows] : std::vector<std::pair<std::string, std::size_t>>{
           {"<h3>Job History (Last 7):</h3>", 7}, {"<h3>Long Running Jobs (Last 3):</h3>", 3}}) {
    const auto start = html.find(heading);
    ASSERT_NE(start, std::string::npos) << heading;
    const auto end = html.find("</table>", start);
    EXPECT_EQ(CountOf(html.substr(start, end - start), "<tr>"), rows + 1) << heading;
  }
}

// The demo instance with its offline database moved to `position` of the per-database walk
// (0 first, -1 last), or with the history script's first statement failing.
std::string DemoWithOfflineDatabaseAt(int position) {
  nlohmann::json scenario = nlohmann::json::parse(sqlsim::DemoScenario());
  for (auto& rule : scenario["batches"]) {
    if (!ContainsText(rule.value("sql", ""), "EXEC sp_helpfile; EXEC sp_spaceused;")) continue;
    auto& results = rule["results"];
    nlohmann::json offline;
    for (auto it = results.begin(); it != results.end(); ++it) {
      if (it->contains("error")) {
        offline = *it;
        results.erase(it);
        break;
      }
    }
    if (position < 0) {
      results.push_back(offline);
    } else {
      results.insert(results.begin() + position, offline);
    }
  }
  return scenario.dump();
}

struct WalkCase {
  const char* name;
  int position;
};

class OfflineDatabaseInTheWalk : public ::testing::TestWithParam<WalkCase> {};

// Wherever the database that cannot be opened stands in the walk (the batch's first statement
// failing is the hard case), every other database's files are in the report.
TEST_P(OfflineDatabaseInTheWalk, LeavesEveryOtherDatabasesFiles) {
  sqlsim::Server server(DemoWithOfflineDatabaseAt(GetParam().position));
  server.Start();
  const auto [exitCode, html, err] = RunCommand(server, std::string("walk-") + GetParam().name);

  EXPECT_EQ(exitCode, cli::kReportWithExceptions) << err;
  EXPECT_EQ(CountOf(html, kErrorBlockStart), 1u);
  const auto start = html.find("<a name=\"Databases\">");
  ASSERT_NE(start, std::string::npos);
  const std::string section = html.substr(start, html.find("<h2>", start + 30) - start);
  // sp_spaceused's first table names its database: one for each database that could be opened.
  for (const char* database : {"master", "tempdb", "model", "msdb", "SalesDemo"}) {
    EXPECT_TRUE(ContainsText(section, std::string("<td>") + database + "</td>\n<td>")) << database;
  }
  EXPECT_EQ(CountOf(section, "<th>Database Name</th>"), 5u);
  EXPECT_TRUE(ContainsText(section, "Archive2012' cannot be opened"));
  EXPECT_EQ(CountOf(section, "<hr>"), 4u);  // between the five databases shown
}

INSTANTIATE_TEST_SUITE_P(Positions, OfflineDatabaseInTheWalk,
                         ::testing::Values(WalkCase{"first", 0}, WalkCase{"middle", 9},
                                           WalkCase{"last", -1}),
                         [](const auto& info) { return std::string(info.param.name); });

// The history script's first statement fails (here a warning-level error the server raised
// before its rows): the error block and then the history itself.
TEST(DemoInstance, HistoryBatchWhoseFirstStatementFailsStillShowsItsRows) {
  nlohmann::json scenario = nlohmann::json::parse(sqlsim::DemoScenario());
  int changed = 0;
  for (auto& rule : scenario["batches"]) {
    const std::string pattern = rule.value("pattern", "");
    if (ContainsText(pattern, "JobHistoryTmp") && !ContainsText(pattern, "run_status = 0") &&
        !ContainsText(pattern, "run_duration desc")) {
      rule["results"].insert(
          rule["results"].begin(),
          nlohmann::json{{"error",
                          {{"number", 50000},
                           {"class", 16},
                           {"state", 1},
                           {"text", "The history could not be read in full."}}}});
      ++changed;
    }
  }
  ASSERT_EQ(changed, 1);
  sqlsim::Server server(scenario.dump());
  server.Start();
  const std::string html = RunCommand(server, "history-first-fails", {"--job-history", "5"}).html;

  const auto start = html.find("<h3>Job History (Last 5):</h3>");
  ASSERT_NE(start, std::string::npos);
  const std::string history = html.substr(start, html.find("<h3>", start + 1) - start);
  EXPECT_TRUE(ContainsText(history, "The history could not be read in full."));
  EXPECT_EQ(CountOf(history, "<tr>"), 6u);  // the heading row and five runs
}

TEST(DemoInstance, SwitchedOffSettingsKeepTheirBatchesFromTheServer) {
  sqlsim::Server server(sqlsim::DemoScenario());
  server.Start();
  const auto [exitCode, html, err] = RunCommand(
      server, "switched-off", {"--no-cmdshell", "--no-ole-automation", "--no-replication"});

  EXPECT_EQ(exitCode, cli::kReportWithExceptions) << err;
  const std::vector<std::string> batches = server.Batches();
  ASSERT_FALSE(batches.empty());
  for (const std::string& word : kCmdShellAndOleWords) {
    EXPECT_FALSE(AnyBatchNames(batches, word)) << word;
  }
  for (const std::string& procedure : kReplicationProcedures) {
    EXPECT_FALSE(AnyBatchNames(batches, procedure)) << procedure;
  }
  EXPECT_EQ(CountOf(html, "Queries using xp_cmdshell have been turned off (see Settings)."), 2u);
  EXPECT_EQ(CountOf(html, "OLE Automation queries using sp_OACreate have been turned off"), 1u);
  EXPECT_TRUE(
      ContainsText(html, "<h2>Database Replication:</h2>\r\nDisabled by choice in Settings.\r\n"));
  EXPECT_TRUE(ContainsText(html, "<a name=\"PageBottom\">"));
}

}  // namespace
}  // namespace quorvane
