#include "sections/outline.h"

#include <cstdint>
#include <optional>
#include <string>

#include "report/locale_text.h"
#include "report/text.h"
#include "sections/agent.h"
#include "sections/catalogue.h"
#include "sections/host.h"
#include "sections/identity.h"
#include "sections/replication.h"
#include "sections/statistics.h"

namespace quorvane::sections {

namespace {

constexpr const char* kCmdShellOff =
    "<i>No information gathered.<br>Queries using xp_cmdshell have been turned off (see "
    "Settings).</i>";
constexpr const char* kOACreateOff =
    "<i>No information gathered.<br>OLE Automation queries using sp_OACreate have been turned off "
    "(see Settings).</i>";

std::string Number(const std::optional<std::int64_t>& value) {
  return value ? report::GroupThousands(std::to_string(*value)) : std::string("unavailable");
}

void AppendGeneralInformation(report::QueryRunner& q, const report::SectionHeading& heading) {
  q.AppendHtml("<h1>" + report::HtmlEscape(q.GetSQL("Select SERVERPROPERTY('ServerName')")) +
               "</h1>");
  heading("<a name=\"GeneralInformation\"></a><h2>General Information:</h2>",
          "General Information");
  q.AppendHtml("<h3>Version:</h3>");
  GetSQLVersion(q);
  q.AppendHtml("<h3>Attributes:</h3>");
  std::string instance = q.GetSQL("Select SERVERPROPERTY('InstanceName')");
  if (instance.empty()) instance = "Default Instance";
  q.AppendHtml("<b>Instance Name:</b> " + report::HtmlEscape(instance) + "<br>");
  std::string edition = q.GetSQL("Select SERVERPROPERTY('Edition')");
  q.AppendHtml("<b>Edition:</b> " + report::HtmlEscape(edition) + "<br>");
  std::string engine = EngineEdition(q);
  q.AppendHtml("<b>Engine Edition:</b> " + engine + "<br>");
  std::string version = q.GetSQL("Select SERVERPROPERTY('ProductVersion')");
  q.AppendHtml("<b>Product Version:</b> " + report::HtmlEscape(version) + "<br>");
  std::string level = q.GetSQL("Select SERVERPROPERTY('ProductLevel')");
  q.AppendHtml("<b>Product Level:</b> " + report::HtmlEscape(level) + "<br>");
  q.AppendHtml("<br>");
  std::string security = IsIntegratedSecurityOnly(q);
  q.AppendHtml(security + "<br>");
  std::string clustered = IsClustered(q);
  q.AppendHtml(clustered + "<br>");
  std::string fullText = IsFullTextInstalled(q);
  q.AppendHtml(fullText + "<br>");
  q.AppendHtml("<br>");
  std::string license = LicenseType(q);
  q.AppendHtml("<b>License Type:</b> " + license + "<br>");
  std::string licenses = q.GetSQL("Select SERVERPROPERTY('NumLicenses')");
  q.AppendHtml("<b>Number of Licenses:</b> " + report::HtmlEscape(licenses) + "<br>");
  q.AppendHtml("<h3>Microsoft Version Information (xp_msver):</h3>");
  xp_msver(q);
  q.AppendHtml("<h3>SQL Server Started:</h3>");
  const data::DateTime started = GetServerStartDateTime(q);
  q.AppendHtml("<b>Started:</b> " + report::LocaleDateTimeText(started));
  q.AppendHtml("<br>");
  const std::int32_t upTime = GetUpTimeDays(q);
  q.AppendHtml("<b>Up-Time:</b> " + std::to_string(upTime) + " days");
  q.AppendHtml("<h3>SQL Server Service Name:</h3>");
  GetServiceName(q);
  q.AppendHtml("<h3>IP Network Configuration:</h3>");
  if (q.Host().AllowCmdShell()) {
    GetNetworkConfig(q);
  } else {
    q.SkippedBySetting("AllowCmdShell");
    q.AppendHtml(kCmdShellOff);
  }
  q.AppendHtml("<h3>Disk Information:</h3>");
  if (q.Host().AllowOACreate()) {
    GetDiskInfo(q);
  } else {
    q.SkippedBySetting("AllowOACreate");
    q.AppendHtml(kOACreateOff);
  }
  q.AppendHtml("<br>");
}

void AppendStatistics(report::QueryRunner& q, const report::SectionHeading& heading) {
  heading(
      "<a name=\"SQLServerStatistics\"></a><h2>SQL Server Statistics (Since SQL Server "
      "started):</h2>",
      "SQL Server Statistics");
  q.AppendHtml("<h3>Login Activity:</h3>");
  auto line = [&q](const std::optional<std::int64_t>& n, const char* sentence) {
    q.AppendHtml(Number(n) + sentence);
  };
  line(GetCONNECTIONS(q), " logins or attempted logins.<br>");
  q.AppendHtml("<h3>Work:</h3>");
  line(GetCPU_BUSY(q),
       " seconds that the server computer's CPU has been doing SQL Server work.<br>");
  line(GetIDLE(q), " seconds that SQL Server has been idle.<br>");
  line(GetIO_BUSY(q), " seconds that SQL Server has spent doing input and output operations.<br>");
  q.AppendHtml("<h3>Disk Activity:</h3>");
  line(GetTOTAL_READ(q), " disk reads (non cache).<br>");
  line(GetTOTAL_WRITE(q), " disk writes.<br>");
  line(GetTOTAL_ERRORS(q), " disk read/write errors.<br>");
  q.AppendHtml("<h3>Network Activity:</h3>");
  line(GetPACK_RECEIVED(q), " network packets received by SQL Server.<br>");
  line(GetPACK_SENT(q), " network packets sent by SQL Server.<br>");
  line(GetPACKET_ERRORS(q), " network packet errors encountered whilst sending/receiving.<br>");
  q.AppendHtml("<br>");
}

void AppendServerSections(report::QueryRunner& q, const report::SectionHeading& heading) {
  heading("<a name=\"ScheduledWindowsJobs\"></a><h2>Scheduled Windows Jobs:</h2>",
          "Scheduled Windows Jobs");
  if (q.Host().AllowCmdShell()) {
    GetScheduledWindowsJobs(q);
  } else {
    q.SkippedBySetting("AllowCmdShell");
    q.AppendHtml(kCmdShellOff);
  }
  heading("<a name=\"SQLServerInformation\"></a><h2>SQL Server Information:</h2>",
          "SQL Server Information");
  q.AppendHtml("<h3>Server Information (sp_server_info):</h3>");
  sp_server_info(q);
  q.AppendHtml("<h3>Global Configuration Settings (sp_configure):</h3>");
  sp_configure(q);
  q.AppendHtml("<h3>Sort Order and Character Set (sp_helpsort):</h3>");
  std::string collation = q.GetSQL("Select SERVERPROPERTY('Collation')");
  q.AppendHtml("<b>Collation:</b> " + report::HtmlEscape(collation) + "<br><br>");
  sp_helpsort(q);
  q.AppendHtml("<br>");
  heading("<a name=\"LinkedServers\"></a><h2>Linked Servers:</h2>", "Linked Servers");
  sp_helpserver(q);
  q.AppendHtml("<h3>Linked Server Logins:</h3>");
  sp_helplinkedsrvlogin(q);
  q.AppendHtml("<br>");
  heading("<a name=\"TargetServers\"></a><h2>Target Servers:</h2>", "Target Servers");
  q.AppendHtml("<b>sp_Help_TargetServer:</b> ");
  sp_help_targetserver(q);
  q.AppendHtml("<br>");
  q.AppendHtml("<b>sp_Help_TargetServerGroup:</b> ");
  sp_help_targetservergroup(q);
  q.AppendHtml("<br>");
}

void AppendAgentSections(report::QueryRunner& q, const report::SectionHeading& heading) {
  heading("<a name=\"Operators\"></a><h2>Operators:</h2>", "Operators");
  sp_help_operator(q);
  q.AppendHtml("<br>");
  heading("<a name=\"Alerts\"></a><h2>Alerts:</h2>", "Alerts");
  sp_help_alert(q);
  q.AppendHtml("<br>");
  heading("<a name=\"SQLJobs\"></a><h2>SQL Jobs:</h2>", "SQL Jobs");
  q.AppendHtml("<h3>SQL Jobs:</h3>");
  sp_help_job(q);
  q.AppendHtml("<h3>Maintenance Plans:</h3>");
  MaintenancePlans(q);
  q.AppendHtml("<h3>Job History (Last " + std::to_string(q.Host().JobHistory()) + "):</h3>");
  JobHistory(q);
  q.AppendHtml("<h3>Job Failures (Last " + std::to_string(q.Host().JobHistoryLimit()) + "):</h3>");
  JobHistoryFailures(q);
  q.AppendHtml("<h3>Long Running Jobs (Last " + std::to_string(q.Host().JobHistoryLimit()) +
               "):</h3>");
  JobHistoryLongRunning(q);
  q.AppendHtml("<br>");
}

void AppendCatalogueSections(report::QueryRunner& q, const report::SectionHeading& heading) {
  heading("<a name=\"DatabaseDevices\"></a><h2>Database Devices:</h2>", "Database Devices");
  sp_helpdevice(q);
  q.AppendHtml("<br>");
  heading("<a name=\"Databases\"></a><h2>Databases:</h2>", "Databases");
  sp_helpdb(q);
  q.AppendHtml("<br>");
  sp_helpfileALL(q);
  q.AppendHtml("<br>");
  heading("<a name=\"FixedDatabaseRoles\"></a><h2>Fixed Database Roles:</h2>",
          "Fixed Database Roles");
  sp_helpsrvrole(q);
  q.AppendHtml("<br>");
  sp_helpsrvrolemember(q);
  q.AppendHtml("<br>");
  heading("<a name=\"LoginsandAccessLevels\"></a><h2>Logins and Access Levels:</h2>",
          "Logins and Access Levels");
  sp_helplogins(q);
  q.AppendHtml("<h3>Windows Account Privileges:</h3>");
  xp_logininfo(q);
  q.AppendHtml("<h3>Orphaned Windows Users or Groups:</h3>");
  sp_validatelogins(q);
  q.AppendHtml("<h3>Login Security Configuration:</h3>");
  xp_loginconfig(q);
  q.AppendHtml("<br>");
}

void AppendReplication(report::QueryRunner& q, const report::SectionHeading& heading) {
  heading("<a name=\"Replication\"></a><h2>Database Replication:</h2>", "Database Replication");
  if (q.Host().IgnoreReplicationSection()) {
    q.SkippedBySetting("IgnoreReplicationSection");
    q.AppendHtml("Disabled by choice in Settings.");
    return;
  }
  q.AppendHtml("<h3>Databases Replicated:</h3>");
  sp_helpreplicationdboption(q);
  q.AppendHtml("<h3>Distributors:</h3>");
  q.AppendHtml("<b>sp_HelpDistributor:</b> ");
  sp_helpdistributor(q);
  q.AppendHtml("<br>");
  q.AppendHtml("<b>sp_HelpDistributionDB:</b> ");
  sp_helpdistributiondb(q);
  q.AppendHtml("<h3>Publishers that serve as their own Distributor:</h3>");
  sp_helpdistpublisher(q);
  q.AppendHtml("<h3>Publications:</h3>");
  q.AppendHtml("<b>sp_HelpPublication:</b> ");
  sp_helpPublicationALL(q);
  q.AppendHtml("<br>");
  q.AppendHtml("<b>sp_HelpMergePublication:</b> ");
  sp_helpmergepublication(q);
  q.AppendHtml("<h3>Subscriptions:</h3>");
  q.AppendHtml("<b>sp_HelpMergePullSubscription:</b> ");
  sp_helpmergepullsubscription(q);
  q.AppendHtml("<br>");
  q.AppendHtml("<b>sp_HelpPullSubscription:</b> ");
  sp_helppullsubscription(q);
  q.AppendHtml("<h3>Subscribers:</h3>");
  q.AppendHtml("<b>sp_HelpSubscriberInfo:</b> ");
  sp_helpsubscriberinfo(q);
  q.AppendHtml("<br>");
  q.AppendHtml("<b>sp_HelpSubscription_Properties:</b> ");
  sp_helpsubscription_properties(q);
  q.AppendHtml("<h3>Replication Statistics:</h3>");
  sp_replcounters(q);
  q.AppendHtml("<h3>Agent Profiles:</h3>");
  sp_help_agent_profile(q);
}

}  // namespace

void StandardOutline::AppendBody(report::QueryRunner& q,
                                 const report::SectionHeading& heading) const {
  AppendGeneralInformation(q, heading);
  AppendStatistics(q, heading);
  AppendServerSections(q, heading);
  AppendAgentSections(q, heading);
  AppendCatalogueSections(q, heading);
  AppendReplication(q, heading);
  q.AppendHtml("<br>");
  q.AppendHtml("<br>");
}

}  // namespace quorvane::sections
