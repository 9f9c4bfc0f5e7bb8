#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "report/locale_text.h"
#include "report/report_file.h"
#include "report/report_run.h"
#include "report/resources.h"
#include "sections/outline.h"
#include "support/recording_host.h"
#include "support/scripted_connection.h"

namespace quorvane::report {
namespace {

using data::FieldKind;
using data::Value;
using testing::RecordingHost;
using testing::Rows;
using testing::Scalar;
using testing::ScriptedConnection;
using testing::ScriptedError;

const data::DateTime kStart{2026, 12, 9, 14, 30, 5, 120};

// Every statement answers one unnamed column with one row 'v', except the values that must
// be dates or numbers.
void ScriptDefaultServer(ScriptedConnection& conn) {
  conn.SetDefault({Scalar("v")});
  conn.On("select crdate \"SQL Server Started\" from master..sysdatabases where name = 'tempdb'",
          {Rows({{"SQL Server Started", FieldKind::ftDateTime}},
                {{Value::Date({2026, 12, 1, 8, 0, 0, 0})}})});
  conn.On(
      "select DateDiff(D, crdate, GetDate()) \"Up-Time (Days)\" from master..sysdatabases "
      "where name = 'tempdb'",
      {Rows({{"Up-Time (Days)", FieldKind::ftInteger}}, {{Value::Integer(8)}})});
  conn.On("Select SERVERPROPERTY('InstanceName')",
          {Rows({{"", FieldKind::ftVariant}}, {{Value::Null()}})});
  conn.On("select @@CONNECTIONS", {Scalar("1234567")});
  conn.On("select @@TOTAL_READ", {Scalar("999")});
  conn.On("select @@TOTAL_WRITE", {Scalar("0")});
  conn.On("select @@TOTAL_ERRORS", {Scalar("1000")});
  for (const char* s :
       {"select convert(bigint, ((@@CPU_BUSY * convert(bigint, @@TIMETICKS / 1000.0)) /1000))",
        "select convert(bigint, ((@@IDLE * convert(bigint, @@TIMETICKS / 1000.0)) /1000))",
        "select convert(bigint, ((@@IO_BUSY * convert(bigint, @@TIMETICKS / 1000.0)) /1000))",
        "select @@PACK_RECEIVED", "select @@PACK_SENT", "select @@PACKET_ERRORS"}) {
    conn.On(s, {Scalar("31")});
  }
}

class ReportRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ScriptDefaultServer(conn);
    folder =
        std::filesystem::temp_directory_path() /
        ("quorvane-run-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder);
    options.temporaryReportFile = folder / kTemporaryReportName;
    options.clock = [] { return kStart; };
  }
  void TearDown() override { std::filesystem::remove_all(folder); }

  const sections::StandardOutline outline;

  void Run() {
    run = std::make_unique<ReportRun>(conn, host, outline, options);
    run->ResetReportExceptionCount();
    conn.Open([this] { run->GatherInformation(); });
  }
  // The entries after the template.
  std::vector<std::string> Body() const {
    ReportBuffer templ;
    templ.Load(LoadResource("Resource_BaseHTML"));
    const auto& all = run->HTMLContainer().Entries();
    return {all.begin() + static_cast<long>(templ.Size()), all.end()};
  }
  std::string FileText() const {
    std::ifstream in(options.temporaryReportFile, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  ScriptedConnection conn;
  RecordingHost host;
  ReportRunOptions options;
  std::filesystem::path folder;
  std::unique_ptr<ReportRun> run;
};

const std::string T =
    "<table class=\"SQLtable\" border=\"1\">\n<tr>\n<th>Column1</th>\n</tr>\n<tr>\n<td>v</td>\n"
    "</tr>\n</table>\n";
const std::string P = "<pre>v\n\n</pre>\n";
const std::string kCopyright = "<div class=\"CopyrightLine\">Report created on ";

std::vector<std::string> ExpectedBody(bool cmdShell, bool oaCreate, bool replication) {
  const std::string off =
      "<i>No information gathered.<br>Queries using xp_cmdshell have been turned off (see "
      "Settings).</i>";
  std::vector<std::string> e = {
      "<h1>v</h1>",
      "<a name=\"GeneralInformation\"></a><h2>General Information:</h2>",
      "<h3>Version:</h3>",
      "v",
      "<h3>Attributes:</h3>",
      "<b>Instance Name:</b> Default Instance<br>",
      "<b>Edition:</b> v<br>",
      "<b>Engine Edition:</b> Invalid input or error.<br>",
      "<b>Product Version:</b> v<br>",
      "<b>Product Level:</b> v<br>",
      "<br>",
      "Invalid input or error.<br>",
      "Invalid input or error.<br>",
      "Invalid input or error.<br>",
      "<br>",
      "<b>License Type:</b> Invalid input or error.<br>",
      "<b>Number of Licenses:</b> v<br>",
      "<h3>Microsoft Version Information (xp_msver):</h3>",
      T,
      "<h3>SQL Server Started:</h3>",
      "<b>Started:</b> " + LocaleDateTimeText({2026, 12, 1, 8, 0, 0, 0}),
      "<br>",
      "<b>Up-Time:</b> 8 days",
      "<h3>SQL Server Service Name:</h3>",
      "v",
      "<h3>IP Network Configuration:</h3>",
      cmdShell ? P : off,
      "<h3>Disk Information:</h3>",
      oaCreate
          ? T
          : "<i>No information gathered.<br>OLE Automation queries using sp_OACreate have been "
            "turned off (see Settings).</i>",
      "<br>",
      "<a name=\"SQLServerStatistics\"></a><h2>SQL Server Statistics (Since SQL Server "
      "started):</h2>",
      "<h3>Login Activity:</h3>",
      "1,234,567 logins or attempted logins.<br>",
      "<h3>Work:</h3>",
      "31 seconds that the server computer's CPU has been doing SQL Server work.<br>",
      "31 seconds that SQL Server has been idle.<br>",
      "31 seconds that SQL Server has spent doing input and output operations.<br>",
      "<h3>Disk Activity:</h3>",
      "999 disk reads (non cache).<br>",
      "0 disk writes.<br>",
      "1,000 disk read/write errors.<br>",
      "<h3>Network Activity:</h3>",
      "31 network packets received by SQL Server.<br>",
      "31 network packets sent by SQL Server.<br>",
      "31 network packet errors encountered whilst sending/receiving.<br>",
      "<br>",
      "<a name=\"ScheduledWindowsJobs\"></a><h2>Scheduled Windows Jobs:</h2>",
      cmdShell ? P : off,
      "<a name=\"SQLServerInformation\"></a><h2>SQL Server Information:</h2>",
      "<h3>Server Information (sp_server_info):</h3>",
      T,
      "<h3>Global Configuration Settings (sp_configure):</h3>",
      T,
      "<h3>Sort Order and Character Set (sp_helpsort):</h3>",
      "<b>Collation:</b> v<br><br>",
      T,
      "<br>",
      "<a name=\"LinkedServers\"></a><h2>Linked Servers:</h2>",
      T,
      "<h3>Linked Server Logins:</h3>",
      T,
      "<br>",
      "<a name=\"TargetServers\"></a><h2>Target Servers:</h2>",
      "<b>sp_Help_TargetServer:</b> ",
      T,
      "<br>",
      "<b>sp_Help_TargetServerGroup:</b> ",
      T,
      "<br>",
      "<a name=\"Operators\"></a><h2>Operators:</h2>",
      T,
      "<br>",
      "<a name=\"Alerts\"></a><h2>Alerts:</h2>",
      T,
      "<br>",
      "<a name=\"SQLJobs\"></a><h2>SQL Jobs:</h2>",
      "<h3>SQL Jobs:</h3>",
      T,
      "<h3>Maintenance Plans:</h3>",
      T,
      "<h3>Job History (Last 100):</h3>",
      T,
      "<h3>Job Failures (Last 20):</h3>",
      T,
      "<h3>Long Running Jobs (Last 20):</h3>",
      T,
      "<br>",
      "<a name=\"DatabaseDevices\"></a><h2>Database Devices:</h2>",
      T,
      "<br>",
      "<a name=\"Databases\"></a><h2>Databases:</h2>",
      T,
      "<br>",
      T,
      "<br>",
      "<a name=\"FixedDatabaseRoles\"></a><h2>Fixed Database Roles:</h2>",
      T,
      "<br>",
      T,
      "<br>",
      "<a name=\"LoginsandAccessLevels\"></a><h2>Logins and Access Levels:</h2>",
      T,
      "<h3>Windows Account Privileges:</h3>",
      T,
      "<h3>Orphaned Windows Users or Groups:</h3>",
      T,
      "<h3>Login Security Configuration:</h3>",
      T,
      "<br>",
      "<a name=\"Replication\"></a><h2>Database Replication:</h2>"};
  if (replication) {
    std::vector<std::string> r = {"<h3>Databases Replicated:</h3>",
                                  T,
                                  "<h3>Distributors:</h3>",
                                  "<b>sp_HelpDistributor:</b> ",
                                  T,
                                  "<br>",
                                  "<b>sp_HelpDistributionDB:</b> ",
                                  T,
                                  "<h3>Publishers that serve as their own Distributor:</h3>",
                                  T,
                                  "<h3>Publications:</h3>",
                                  "<b>sp_HelpPublication:</b> ",
                                  T,
                                  "<br>",
                                  "<b>sp_HelpMergePublication:</b> ",
                                  T,
                                  "<h3>Subscriptions:</h3>",
                                  "<b>sp_HelpMergePullSubscription:</b> ",
                                  T,
                                  "<br>",
                                  "<b>sp_HelpPullSubscription:</b> ",
                                  T,
                                  "<h3>Subscribers:</h3>",
                                  "<b>sp_HelpSubscriberInfo:</b> ",
                                  T,
                                  "<br>",
                                  "<b>sp_HelpSubscription_Properties:</b> ",
                                  T,
                                  "<h3>Replication Statistics:</h3>",
                                  T,
                                  "<h3>Agent Profiles:</h3>",
                                  T};
    e.insert(e.end(), r.begin(), r.end());
  } else {
    e.push_back("Disabled by choice in Settings.");
  }
  e.push_back("<br>");
  e.push_back("<br>");
  return e;
}

TEST_F(ReportRunTest, DefaultRunFollowsTheOutline) {
  Run();
  std::vector<std::string> body = Body();
  ASSERT_GE(body.size(), 4u);
  const std::string when = LocaleDateTimeText(kStart);
  EXPECT_EQ(body.front().rfind("<a name=\"PageTop\"></a>" + kCopyright + when +
                                   " by SQL Server Quorvane v1.3.6.15<br>",
                               0),
            0u)
      << body.front();
  EXPECT_EQ(body[body.size() - 3].rfind("<a name=\"PageBottom\"></a>" + kCopyright + when +
                                            " by SQL Server Quorvane v1.3.6.15<br>",
                                        0),
            0u);
  EXPECT_EQ(body[body.size() - 2], "</body>");
  EXPECT_EQ(body.back(), "</html>");
  std::vector<std::string> middle(body.begin() + 1, body.end() - 3);
  std::vector<std::string> expected = ExpectedBody(true, true, true);
  ASSERT_EQ(middle.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(middle[i], expected[i]) << "line " << i;
  EXPECT_EQ(run->ReportExceptionCount(), 0);
  ASSERT_EQ(host.sectionNumbers.size(), static_cast<std::size_t>(outline.SectionCount()));
  EXPECT_EQ(host.sectionNumbers.back(),
            std::make_pair(outline.SectionCount(), outline.SectionCount()));
}

TEST_F(ReportRunTest, SwitchedOffSettingsWriteTheirLinesAndSendNothing) {
  host.allowCmdShell = false;
  host.allowOACreate = false;
  host.ignoreReplication = true;
  Run();
  std::vector<std::string> body = Body();
  std::vector<std::string> middle(body.begin() + 1, body.end() - 3);
  EXPECT_EQ(middle, ExpectedBody(false, false, false));
  for (const auto& batch : conn.Batches()) {
    EXPECT_EQ(batch.find("xp_cmdshell"), std::string::npos) << batch;
    EXPECT_EQ(batch.find("sp_OA"), std::string::npos) << batch;
    EXPECT_EQ(batch.find("xp_fixeddrives"), std::string::npos) << batch;
    EXPECT_EQ(batch.find("sp_helpreplicationdboption"), std::string::npos) << batch;
    EXPECT_EQ(batch.find("distributor"), std::string::npos) << batch;
    EXPECT_EQ(batch.find("sp_replcounters"), std::string::npos) << batch;
  }
}

TEST_F(ReportRunTest, SettingsAreReadWhenTheRowIsReached) {
  host.jobHistory = 7;
  conn.OnExecute([this](const std::string& batch) {
    // Changed on the Settings tab while the run is in the statistics.
    if (batch == "select @@CONNECTIONS") {
      host.jobHistoryLimit = 3;
      host.ignoreReplication = true;
    }
  });
  Run();
  const std::string text = run->HTMLContainer().Text();
  EXPECT_NE(text.find("<h3>Job History (Last 7):</h3>"), std::string::npos);
  EXPECT_NE(text.find("<h3>Job Failures (Last 3):</h3>"), std::string::npos);
  EXPECT_NE(text.find("Disabled by choice in Settings."), std::string::npos);
}

TEST_F(ReportRunTest, FinishedRunRestoresTheHostAndShowsTheFile) {
  Run();
  EXPECT_FALSE(conn.Connected());
  EXPECT_TRUE(host.controlsEnabled);
  EXPECT_FALSE(host.progressRunning);
  EXPECT_EQ(host.statusText, "Finished.");
  EXPECT_TRUE(host.warnings.empty());
  EXPECT_EQ(host.navigatedTo, FileUrl(options.temporaryReportFile));
  EXPECT_EQ(FileText(), run->HTMLContainer().Text());
  EXPECT_EQ(run->ReportShown(), 1);
  EXPECT_EQ(host.events.front(), "controls:off");
}

// The report command names its file after the run's start, taken when the run begins (after
// the login), not before connecting.
TEST_F(ReportRunTest, FileNamedFromTheStartIsAskedWhenTheRunBegins) {
  bool connected = false;
  std::vector<bool> connectedWhenAsked;
  options.clock = [&] {
    connected = conn.Connected();
    return kStart;
  };
  options.reportFileFor = [&](const data::DateTime& start) {
    connectedWhenAsked.push_back(connected);
    EXPECT_EQ(start.year, kStart.year);
    EXPECT_EQ(start.second, kStart.second);
    return folder / "named.htm";
  };
  Run();
  EXPECT_EQ(connectedWhenAsked, std::vector<bool>{true});
  EXPECT_EQ(run->TemporaryReportFile(), folder / "named.htm");
  EXPECT_EQ(host.navigatedTo, FileUrl(folder / "named.htm"));
  EXPECT_TRUE(std::filesystem::exists(folder / "named.htm"));
}

TEST_F(ReportRunTest, ExceptionsAreCountedAndReported) {
  conn.On("exec master..xp_msver", {ScriptedError{"no xp_msver"}});
  conn.On("exec master..sp_configure", {ScriptedError{"no sp_configure"}});
  conn.On("select @@PACK_SENT", {ScriptedError{"timeout"}});
  Run();
  EXPECT_EQ(run->ReportExceptionCount(), 3);
  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_EQ(host.warnings[0],
            "Warning|There were 3 exception(s) whilst generating the report.\nThe exception(s) "
            "are highlighted in red.");
  EXPECT_EQ(host.statusText,
            "3 exception(s) found whilst generating the report. The exception(s) are highlighted "
            "in red.");
  const std::string text = run->HTMLContainer().Text();
  const std::string block =
      "<div class=\"ExceptionError\"><u>Exception Error:</u><br>timeout</div>";
  EXPECT_NE(text.find(block + "\r\nunavailable network packets sent by SQL Server.<br>"),
            std::string::npos);
}

TEST_F(ReportRunTest, StatisticThatIsNotANumberIsUnavailableNotZero) {
  conn.On("select @@TOTAL_WRITE", {Scalar("lots")});
  Run();
  const std::string text = run->HTMLContainer().Text();
  EXPECT_NE(text.find("'lots' is not a valid integer value</div>\r\nunavailable disk writes.<br>"),
            std::string::npos);
  EXPECT_EQ(run->ReportExceptionCount(), 1);
}

TEST_F(ReportRunTest, NamedInstanceAndHeaderWithoutTimeAtMidnight) {
  conn.On("Select SERVERPROPERTY('InstanceName')", {Scalar("SQLEXPRESS")});
  options.clock = [] { return data::DateTime{2026, 1, 2, 0, 0, 0, 0}; };
  Run();
  const std::string text = run->HTMLContainer().Text();
  EXPECT_NE(text.find("<b>Instance Name:</b> SQLEXPRESS<br>"), std::string::npos);
  EXPECT_NE(text.find("Report created on " + LocaleDateTimeText({2026, 1, 2, 0, 0, 0, 0}) +
                      " by SQL Server Quorvane"),
            std::string::npos);
  // The time of day is left out at midnight, kept one second later.
  EXPECT_EQ(LocaleDateTimeText({2026, 1, 2, 0, 0, 0, 0}).find(':'), std::string::npos);
  EXPECT_NE(LocaleDateTimeText({2026, 1, 2, 0, 0, 1, 0}).find(':'), std::string::npos);
}

TEST_F(ReportRunTest, ServerValuesAreEscapedInSingleValueLines) {
  conn.On("Select SERVERPROPERTY('ServerName')", {Scalar("<script>x</script>")});
  conn.On("select @@version", {Scalar("Microsoft SQL Server 2019\n\tDeveloper <x64>\nline3")});
  Run();
  const std::string text = run->HTMLContainer().Text();
  EXPECT_NE(text.find("<h1>&lt;script&gt;x&lt;/script&gt;</h1>"), std::string::npos);
  EXPECT_NE(text.find("\r\nMicrosoft SQL Server 2019<br>\tDeveloper &lt;x64&gt;<br>line3\r\n"),
            std::string::npos);
}

TEST_F(ReportRunTest, TwoRunsInARowHoldOnlyTheSecondReport) {
  Run();
  conn.On("Select SERVERPROPERTY('ServerName')", {Scalar("SECOND")});
  run->ResetReportExceptionCount();
  conn.Open([this] { run->GatherInformation(); });
  const std::string text = run->HTMLContainer().Text();
  EXPECT_EQ(FileText(), text);
  EXPECT_NE(text.find("<h1>SECOND</h1>"), std::string::npos);
  EXPECT_EQ(text.find("<h1>v</h1>"), std::string::npos);
  auto count = [&text](const std::string& what) {
    std::size_t n = 0;
    for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("<!DOCTYPE"), 1u);
  EXPECT_EQ(count("PageTop\"></a><div"), 1u);
  EXPECT_EQ(count("</html>"), 1u);
}

// A fault of the program (not a query error) escapes the run: the window goes back to idle,
// the connection is closed and what was built is written and shown, then the error goes on.
TEST_F(ReportRunTest, EscapedErrorRestoresTheHostAndClosesThePartialReport) {
  conn.OnExecute([](const std::string& batch) {
    if (batch == "exec master..sp_helpdevice") throw std::runtime_error("out of memory");
  });
  run = std::make_unique<ReportRun>(conn, host, outline, options);
  EXPECT_THROW(conn.Open([this] { run->GatherInformation(); }), std::runtime_error);
  EXPECT_FALSE(conn.Connected());
  EXPECT_TRUE(host.controlsEnabled);
  EXPECT_FALSE(host.progressRunning);
  EXPECT_EQ(host.statusText, "Report failed: out of memory");
  const std::string file = FileText();
  const auto devices = file.find("<h2>Database Devices:</h2>");
  const auto ending = file.find("The report ends here: out of memory.</div>");
  ASSERT_NE(ending, std::string::npos);
  EXPECT_LT(devices, ending);
  EXPECT_EQ(file.find("<h2>Databases:</h2>"), std::string::npos);
  EXPECT_TRUE(file.ends_with("</div>\r\n</body>\r\n</html>\r\n"));
  EXPECT_EQ(host.navigatedTo, FileUrl(options.temporaryReportFile));
  EXPECT_EQ(run->ReportShown(), 0);
}

TEST(Timer1Timer, AdvancesByEighteenUpToOneHundred) {
  int position = 0;
  for (int tick = 1; tick <= 5; ++tick) position = Timer1Timer(position);
  EXPECT_EQ(position, 90);
  EXPECT_EQ(Timer1Timer(position), 100);
  EXPECT_EQ(Timer1Timer(100), 100);
}

}  // namespace
}  // namespace quorvane::report
