#include "report/report_run.h"

#include <algorithm>
#include <exception>
#include <string_view>

#include "report/locale_text.h"
#include "report/report_file.h"
#include "report/resources.h"
#include "report/run_stopped.h"
#include "report/text.h"
#include "sections/agent.h"
#include "sections/catalogue.h"
#include "sections/host.h"
#include "sections/identity.h"
#include "sections/replication.h"
#include "sections/statistics.h"

namespace quorvane::report {

namespace {

constexpr const char* kCmdShellOff =
    "<i>No information gathered.<br>Queries using xp_cmdshell have been turned off (see "
    "Settings).</i>";
constexpr const char* kOACreateOff =
    "<i>No information gathered.<br>OLE Automation queries using sp_OACreate have been turned off "
    "(see Settings).</i>";
constexpr const char* kMakerLine =
    "A free inventory tool for SQL Server administrators: "
    "<a href=\"https://github.com/quorvane\">github.com/quorvane</a>";

std::string Number(const std::optional<std::int64_t>& value) {
  return value ? GroupThousands(std::to_string(*value)) : std::string("unavailable");
}

}  // namespace

int Timer1Timer(int position) {
  return std::clamp(position + 18, 0, 100);
}

ReportRun::ReportRun(data::Connection& SQLServer, ReportHost& host, ReportRunOptions options)
    : SQLServer_(SQLServer),
      host_(host),
      options_(std::move(options)),
      runner_(SQLServer, buffer_, host, options_.debugMode) {
  runner_.ADOQuery1.SetCommandTimeout(options_.queryTimeoutSeconds);
  buffer_.KeepEntries(options_.keepReportInMemory);
}

const std::filesystem::path& ReportRun::TemporaryReportFile() {
  if (options_.temporaryReportFile.empty()) {
    options_.temporaryReportFile = PrivateTemporaryFolder() / kTemporaryReportName;
  }
  return options_.temporaryReportFile;
}

std::string ReportRun::CopyrightLine(const char* anchorStart) const {
  return std::string(anchorStart) + LocaleDateTimeText(startTime_) + " by SQL Server Quorvane v" +
         GetVersionString() + "<br>" + kMakerLine + "</div>";
}

// Streams every entry of the buffer to the report file as it is appended, so that what was
// gathered is on disk whatever happens to the process later.
class ReportRun::FileSink : public ReportBuffer::Observer {
 public:
  explicit FileSink(ReportFileWriter& file) : file_(file) {}
  void Cleared() override {
    if (file_.BytesWritten() > 0) throw std::logic_error("report cleared while being written");
  }
  void Appended(std::string_view entry) override {
    line_.assign(entry);
    line_ += "\r\n";
    file_.Append(line_);
  }

 private:
  ReportFileWriter& file_;
  std::string line_;
};

ReportRun::~ReportRun() {
  buffer_.SetSink(nullptr);
}

namespace {

constexpr const char* kEndBlockStart =
    "<div class=\"ExceptionError\"><u>Exception Error:</u><br>The report ends here: ";

}  // namespace

std::vector<std::string> ReportRun::ClosingEntries() const {
  return {
      CopyrightLine("<a name=\"PageBottom\"></a><div class=\"CopyrightLine\">Report created on "),
      "</body>", "</html>"};
}

std::string ReportRun::Footer() const {
  std::string footer;
  for (const std::string& entry : ClosingEntries()) footer += entry + "\r\n";
  return footer;
}

void ReportRun::Heading(const std::string& html, std::string_view section) {
  host_.SectionStarted(section, ++sectionNumber_, kSectionCount);
  runner_.SetSection(section);
  if (file_) {
    file_->SetCrashEnding(std::string(kEndBlockStart) + "the program was stopped by ",
                          HtmlEscape(" (a fault in the ODBC driver or in the program) during "
                                     "the section \"" +
                                     std::string(section) + "\"") +
                              ".</div>\r\n" + Footer());
  }
  runner_.AppendHtml(html);
}

void ReportRun::GatherInformation() {
  host_.SetRunControlsEnabled(false);
  startTime_ = options_.clock ? options_.clock() : LocalNow();
  if (options_.reportFileFor) options_.temporaryReportFile = options_.reportFileFor(startTime_);
  sectionNumber_ = 0;
  runner_.StartRun();
  try {
    buffer_.SetSink(nullptr);
    sink_.reset();
    // Created first: a folder that cannot take the report fails the run before any query.
    file_ = std::make_unique<ReportFileWriter>(TemporaryReportFile());
    buffer_.Clear();
    sink_ = std::make_unique<FileSink>(*file_);
    buffer_.SetSink(sink_.get());
    buffer_.Load(LoadResource("Resource_BaseHTML"));
    file_->SetCrashEnding(std::string(kEndBlockStart) + "the program was stopped by ",
                          ".</div>\r\n" + Footer());
    host_.StartProgress();
    host_.SetStatusText("Collecting information...");
    runner_.AppendHtml(
        CopyrightLine("<a name=\"PageTop\"></a><div class=\"CopyrightLine\">Report created on "));
    AppendBody();
    for (std::string& entry : ClosingEntries()) runner_.AppendHtml(std::move(entry));
    if (SQLServer_.Connected()) SQLServer_.Close();
    SQLServer_.ForgetConnectionString();
    WriteAndShow();
  } catch (const ReportWriteError& error) {
    // Nothing can be added to the report: the unfinished file goes, an earlier one stays.
    buffer_.SetSink(nullptr);
    file_.reset();
    CloseEarly(error.what());
    throw;
  } catch (const RunStopped& stop) {
    CloseEarly(stop.what());
    throw;
  } catch (const std::exception& error) {
    CloseEarly(error.what());
    throw;
  }
  host_.StopProgress();
  host_.RestoreDefaultCursor();
  host_.SetRunControlsEnabled(true);
  // The status bar keeps saying that the link was lost on the way, as the report does.
  const std::string relinked =
      runner_.LinkReestablished()
          ? " The connection to the server was lost once and re-established."
          : "";
  host_.SetStatusText("Finished." + relinked);
  const std::int32_t exceptions = runner_.ReportExceptionCount;
  if (exceptions > 0) {
    host_.ShowWarning("Warning", "There were " + std::to_string(exceptions) +
                                     " exception(s) whilst generating the report.\n"
                                     "The exception(s) are highlighted in red.");
    host_.SetStatusText(std::to_string(exceptions) +
                        " exception(s) found whilst generating the report. The exception(s) are "
                        "highlighted in red." +
                        relinked);
  }
  reportShown_ = 1;
}

void ReportRun::CloseEarly(const std::string& reason) {
  // Put the window back to idle and keep what was built, closed, so the user sees how far it got
  // and why it ended there.
  runner_.ADOQuery1.Close();
  if (SQLServer_.Connected()) SQLServer_.Close();
  SQLServer_.ForgetConnectionString();
  host_.StopProgress();
  host_.RestoreDefaultCursor();
  host_.SetRunControlsEnabled(true);
  host_.SetStatusText("Report failed: " + reason);
  if (!file_) return;
  try {
    runner_.AppendHtml(kEndBlockStart + HtmlEscape(reason) + ".</div>");
    for (std::string& entry : ClosingEntries()) runner_.AppendHtml(std::move(entry));
    WriteAndShow();
  } catch (const ReportWriteError& error) {
    // The report file failing too is said, but the first reason stays the one thrown on.
    host_.SetStatusText("Report failed: " + reason + "; " + error.what());
    buffer_.SetSink(nullptr);
    file_.reset();
  }
}

void ReportRun::WriteAndShow() {
  buffer_.SetSink(nullptr);
  file_->Commit();
  file_.reset();
  host_.Navigate(FileUrl(TemporaryReportFile()));
}

void ReportRun::AppendBody() {
  AppendGeneralInformation();
  AppendStatistics();
  AppendServerSections();
  AppendAgentSections();
  AppendCatalogueSections();
  AppendReplication();
  runner_.AppendHtml("<br>");
  runner_.AppendHtml("<br>");
}

void ReportRun::AppendGeneralInformation() {
  QueryRunner& q = runner_;
  q.AppendHtml("<h1>" + HtmlEscape(q.GetSQL("Select SERVERPROPERTY('ServerName')")) + "</h1>");
  Heading("<a name=\"GeneralInformation\"></a><h2>General Information:</h2>",
          "General Information");
  q.AppendHtml("<h3>Version:</h3>");
  sections::GetSQLVersion(q);
  q.AppendHtml("<h3>Attributes:</h3>");
  std::string instance = q.GetSQL("Select SERVERPROPERTY('InstanceName')");
  if (instance.empty()) instance = "Default Instance";
  q.AppendHtml("<b>Instance Name:</b> " + HtmlEscape(instance) + "<br>");
  std::string edition = q.GetSQL("Select SERVERPROPERTY('Edition')");
  q.AppendHtml("<b>Edition:</b> " + HtmlEscape(edition) + "<br>");
  std::string engine = sections::EngineEdition(q);
  q.AppendHtml("<b>Engine Edition:</b> " + engine + "<br>");
  std::string version = q.GetSQL("Select SERVERPROPERTY('ProductVersion')");
  q.AppendHtml("<b>Product Version:</b> " + HtmlEscape(version) + "<br>");
  std::string level = q.GetSQL("Select SERVERPROPERTY('ProductLevel')");
  q.AppendHtml("<b>Product Level:</b> " + HtmlEscape(level) + "<br>");
  q.AppendHtml("<br>");
  std::string security = sections::IsIntegratedSecurityOnly(q);
  q.AppendHtml(security + "<br>");
  std::string clustered = sections::IsClustered(q);
  q.AppendHtml(clustered + "<br>");
  std::string fullText = sections::IsFullTextInstalled(q);
  q.AppendHtml(fullText + "<br>");
  q.AppendHtml("<br>");
  std::string license = sections::LicenseType(q);
  q.AppendHtml("<b>License Type:</b> " + license + "<br>");
  std::string licenses = q.GetSQL("Select SERVERPROPERTY('NumLicenses')");
  q.AppendHtml("<b>Number of Licenses:</b> " + HtmlEscape(licenses) + "<br>");
  q.AppendHtml("<h3>Microsoft Version Information (xp_msver):</h3>");
  sections::xp_msver(q);
  q.AppendHtml("<h3>SQL Server Started:</h3>");
  const data::DateTime started = sections::GetServerStartDateTime(q);
  q.AppendHtml("<b>Started:</b> " + LocaleDateTimeText(started));
  q.AppendHtml("<br>");
  const std::int32_t upTime = sections::GetUpTimeDays(q);
  q.AppendHtml("<b>Up-Time:</b> " + std::to_string(upTime) + " days");
  q.AppendHtml("<h3>SQL Server Service Name:</h3>");
  sections::GetServiceName(q);
  q.AppendHtml("<h3>IP Network Configuration:</h3>");
  if (host_.AllowCmdShell()) {
    sections::GetNetworkConfig(q);
  } else {
    q.AppendHtml(kCmdShellOff);
  }
  q.AppendHtml("<h3>Disk Information:</h3>");
  if (host_.AllowOACreate()) {
    sections::GetDiskInfo(q);
  } else {
    q.AppendHtml(kOACreateOff);
  }
  q.AppendHtml("<br>");
}

void ReportRun::AppendStatistics() {
  QueryRunner& q = runner_;
  Heading(
      "<a name=\"SQLServerStatistics\"></a><h2>SQL Server Statistics (Since SQL Server "
      "started):</h2>",
      "SQL Server Statistics");
  q.AppendHtml("<h3>Login Activity:</h3>");
  auto line = [&q](const std::optional<std::int64_t>& n, const char* sentence) {
    q.AppendHtml(Number(n) + sentence);
  };
  line(sections::GetCONNECTIONS(q), " logins or attempted logins.<br>");
  q.AppendHtml("<h3>Work:</h3>");
  line(sections::GetCPU_BUSY(q),
       " seconds that the server computer's CPU has been doing SQL Server work.<br>");
  line(sections::GetIDLE(q), " seconds that SQL Server has been idle.<br>");
  line(sections::GetIO_BUSY(q),
       " seconds that SQL Server has spent doing input and output operations.<br>");
  q.AppendHtml("<h3>Disk Activity:</h3>");
  line(sections::GetTOTAL_READ(q), " disk reads (non cache).<br>");
  line(sections::GetTOTAL_WRITE(q), " disk writes.<br>");
  line(sections::GetTOTAL_ERRORS(q), " disk read/write errors.<br>");
  q.AppendHtml("<h3>Network Activity:</h3>");
  line(sections::GetPACK_RECEIVED(q), " network packets received by SQL Server.<br>");
  line(sections::GetPACK_SENT(q), " network packets sent by SQL Server.<br>");
  line(sections::GetPACKET_ERRORS(q),
       " network packet errors encountered whilst sending/receiving.<br>");
  q.AppendHtml("<br>");
}

void ReportRun::AppendServerSections() {
  QueryRunner& q = runner_;
  Heading("<a name=\"ScheduledWindowsJobs\"></a><h2>Scheduled Windows Jobs:</h2>",
          "Scheduled Windows Jobs");
  if (host_.AllowCmdShell()) {
    sections::GetScheduledWindowsJobs(q);
  } else {
    q.AppendHtml(kCmdShellOff);
  }
  Heading("<a name=\"SQLServerInformation\"></a><h2>SQL Server Information:</h2>",
          "SQL Server Information");
  q.AppendHtml("<h3>Server Information (sp_server_info):</h3>");
  sections::sp_server_info(q);
  q.AppendHtml("<h3>Global Configuration Settings (sp_configure):</h3>");
  sections::sp_configure(q);
  q.AppendHtml("<h3>Sort Order and Character Set (sp_helpsort):</h3>");
  std::string collation = q.GetSQL("Select SERVERPROPERTY('Collation')");
  q.AppendHtml("<b>Collation:</b> " + HtmlEscape(collation) + "<br><br>");
  sections::sp_helpsort(q);
  q.AppendHtml("<br>");
  Heading("<a name=\"LinkedServers\"></a><h2>Linked Servers:</h2>", "Linked Servers");
  sections::sp_helpserver(q);
  q.AppendHtml("<h3>Linked Server Logins:</h3>");
  sections::sp_helplinkedsrvlogin(q);
  q.AppendHtml("<br>");
  Heading("<a name=\"TargetServers\"></a><h2>Target Servers:</h2>", "Target Servers");
  q.AppendHtml("<b>sp_Help_TargetServer:</b> ");
  sections::sp_help_targetserver(q);
  q.AppendHtml("<br>");
  q.AppendHtml("<b>sp_Help_TargetServerGroup:</b> ");
  sections::sp_help_targetservergroup(q);
  q.AppendHtml("<br>");
}

void ReportRun::AppendAgentSections() {
  QueryRunner& q = runner_;
  Heading("<a name=\"Operators\"></a><h2>Operators:</h2>", "Operators");
  sections::sp_help_operator(q);
  q.AppendHtml("<br>");
  Heading("<a name=\"Alerts\"></a><h2>Alerts:</h2>", "Alerts");
  sections::sp_help_alert(q);
  q.AppendHtml("<br>");
  Heading("<a name=\"SQLJobs\"></a><h2>SQL Jobs:</h2>", "SQL Jobs");
  q.AppendHtml("<h3>SQL Jobs:</h3>");
  sections::sp_help_job(q);
  q.AppendHtml("<h3>Maintenance Plans:</h3>");
  sections::MaintenancePlans(q);
  q.AppendHtml("<h3>Job History (Last " + std::to_string(host_.JobHistory()) + "):</h3>");
  sections::JobHistory(q);
  q.AppendHtml("<h3>Job Failures (Last " + std::to_string(host_.JobHistoryLimit()) + "):</h3>");
  sections::JobHistoryFailures(q);
  q.AppendHtml("<h3>Long Running Jobs (Last " + std::to_string(host_.JobHistoryLimit()) +
               "):</h3>");
  sections::JobHistoryLongRunning(q);
  q.AppendHtml("<br>");
}

void ReportRun::AppendCatalogueSections() {
  QueryRunner& q = runner_;
  Heading("<a name=\"DatabaseDevices\"></a><h2>Database Devices:</h2>", "Database Devices");
  sections::sp_helpdevice(q);
  q.AppendHtml("<br>");
  Heading("<a name=\"Databases\"></a><h2>Databases:</h2>", "Databases");
  sections::sp_helpdb(q);
  q.AppendHtml("<br>");
  sections::sp_helpfileALL(q);
  q.AppendHtml("<br>");
  Heading("<a name=\"FixedDatabaseRoles\"></a><h2>Fixed Database Roles:</h2>",
          "Fixed Database Roles");
  sections::sp_helpsrvrole(q);
  q.AppendHtml("<br>");
  sections::sp_helpsrvrolemember(q);
  q.AppendHtml("<br>");
  Heading("<a name=\"LoginsandAccessLevels\"></a><h2>Logins and Access Levels:</h2>",
          "Logins and Access Levels");
  sections::sp_helplogins(q);
  q.AppendHtml("<h3>Windows Account Privileges:</h3>");
  sections::xp_logininfo(q);
  q.AppendHtml("<h3>Orphaned Windows Users or Groups:</h3>");
  sections::sp_validatelogins(q);
  q.AppendHtml("<h3>Login Security Configuration:</h3>");
  sections::xp_loginconfig(q);
  q.AppendHtml("<br>");
}

void ReportRun::AppendReplication() {
  QueryRunner& q = runner_;
  Heading("<a name=\"Replication\"></a><h2>Database Replication:</h2>", "Database Replication");
  if (host_.IgnoreReplicationSection()) {
    q.AppendHtml("Disabled by choice in Settings.");
    return;
  }
  q.AppendHtml("<h3>Databases Replicated:</h3>");
  sections::sp_helpreplicationdboption(q);
  q.AppendHtml("<h3>Distributors:</h3>");
  q.AppendHtml("<b>sp_HelpDistributor:</b> ");
  sections::sp_helpdistributor(q);
  q.AppendHtml("<br>");
  q.AppendHtml("<b>sp_HelpDistributionDB:</b> ");
  sections::sp_helpdistributiondb(q);
  q.AppendHtml("<h3>Publishers that serve as their own Distributor:</h3>");
  sections::sp_helpdistpublisher(q);
  q.AppendHtml("<h3>Publications:</h3>");
  q.AppendHtml("<b>sp_HelpPublication:</b> ");
  sections::sp_helpPublicationALL(q);
  q.AppendHtml("<br>");
  q.AppendHtml("<b>sp_HelpMergePublication:</b> ");
  sections::sp_helpmergepublication(q);
  q.AppendHtml("<h3>Subscriptions:</h3>");
  q.AppendHtml("<b>sp_HelpMergePullSubscription:</b> ");
  sections::sp_helpmergepullsubscription(q);
  q.AppendHtml("<br>");
  q.AppendHtml("<b>sp_HelpPullSubscription:</b> ");
  sections::sp_helppullsubscription(q);
  q.AppendHtml("<h3>Subscribers:</h3>");
  q.AppendHtml("<b>sp_HelpSubscriberInfo:</b> ");
  sections::sp_helpsubscriberinfo(q);
  q.AppendHtml("<br>");
  q.AppendHtml("<b>sp_HelpSubscription_Properties:</b> ");
  sections::sp_helpsubscription_properties(q);
  q.AppendHtml("<h3>Replication Statistics:</h3>");
  sections::sp_replcounters(q);
  q.AppendHtml("<h3>Agent Profiles:</h3>");
  sections::sp_help_agent_profile(q);
}

}  // namespace quorvane::report
