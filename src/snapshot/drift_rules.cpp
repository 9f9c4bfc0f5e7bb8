#include "snapshot/drift_rules.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace quorvane::snapshot {

namespace {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool Contains(std::string_view text, std::string_view part) {
  return std::search(text.begin(), text.end(), part.begin(), part.end(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         }) != text.end();
}

// A rule written as a sentence: Rule("Jobs").Columns({...}).Key({...}).Volatile({...}).
struct Rule : TableRule {
  explicit Rule(std::string_view name) { label = name; }
  Rule& InSection(std::string_view name) {
    anchor = name;
    return *this;
  }
  Rule& OfCommand(std::string_view part) {
    commandContains = part;
    return *this;
  }
  Rule& Columns(std::vector<std::string_view> names) {
    columns = std::move(names);
    return *this;
  }
  Rule& Key(std::vector<std::string_view> names) {
    key = std::move(names);
    return *this;
  }
  Rule& Volatile(std::vector<std::string_view> names) {
    volatileColumns = std::move(names);
    return *this;
  }
  Rule& AllVolatile() {
    volatileTable = true;
    return *this;
  }
};

// First match wins: the specific before the general.
const std::vector<TableRule>& Rules() {
  static const std::vector<TableRule> kRules = {
      Rule("Counters since the server started").InSection("SQLServerStatistics").AllVolatile(),
      // What names the server differs between any two servers; it heads the drift report.
      Rule("Server name").OfCommand("SERVERPROPERTY('ServerName')").AllVolatile(),
      Rule("Server start").Columns({"SQL Server Started"}).AllVolatile(),
      Rule("Up-time").Columns({"Up-Time (Days)"}).AllVolatile(),
      Rule("Scheduled Windows tasks").OfCommand("schtasks").AllVolatile(),
      Rule("Scheduled Windows tasks").OfCommand("xp_cmdshell \"at\"").AllVolatile(),
      Rule("IP network configuration").OfCommand("ipconfig"),
      Rule("Disks").Columns({"Drive", "Free(MB)"}).Key({"Drive"}).Volatile({"Free(MB)", "Free(%)"}),
      Rule("Version information (xp_msver)")
          .Columns({"Index", "Name", "Internal_Value"})
          .Key({"Name"}),
      Rule("Server attributes (sp_server_info)")
          .Columns({"ATTRIBUTE_ID", "ATTRIBUTE_NAME"})
          .Key({"ATTRIBUTE_ID"}),
      Rule("Configuration options (sp_configure)")
          .Columns({"name", "config_value", "run_value"})
          .Key({"name"}),
      Rule("Linked servers (sp_helpserver)").Columns({"name", "network_name"}).Key({"name"}),
      Rule("Linked server logins")
          .Columns({"Linked Server", "Local Login"})
          .Key({"Linked Server", "Local Login"}),
      Rule("Target servers")
          .Columns({"server_name", "poll_interval"})
          .Key({"server_name"})
          .Volatile({"last_poll_date", "local_time", "unread_instructions"}),
      Rule("Target server groups").Columns({"servergroup_id", "name"}).Key({"name"}),
      Rule("Operators")
          .Columns({"id", "email_address", "last_email_date"})
          .Key({"id"})
          .Volatile({"last_email_date", "last_email_time", "last_pager_date", "last_pager_time",
                     "last_netsend_date", "last_netsend_time"}),
      Rule("Alerts")
          .Columns({"name", "event source", "occurrence count"})
          .Key({"name"})
          .Volatile({"occurrence count", "last occurrence date", "last occurrence time",
                     "count reset date", "count reset time"}),
      Rule("Jobs")
          .Columns({"name", "originating_server", "current_execution_status"})
          .Key({"name"})
          .Volatile({"last run date", "last run time", "last_run_outcome", "next run date",
                     "next run time", "next_run_schedule_id", "current_execution_status",
                     "current_execution_step", "current_retry_attempt"}),
      Rule("Maintenance plans")
          .Columns({"plan_name", "database_name", "job_name"})
          .Key({"plan_name", "database_name", "job_name"}),
      Rule("Job history").Columns({"job_name", "run_status", "retries_attempted"}).AllVolatile(),
      Rule("Devices (sp_helpdevice)")
          .Columns({"device_name", "physical_name"})
          .Key({"device_name"})
          .Volatile({"size"}),
      Rule("Databases (sp_helpdb)")
          .Columns({"name", "db_size", "dbid"})
          .Key({"name"})
          .Volatile({"db_size"}),
      // A logical name is unique only within its database; the physical file tells them apart.
      Rule("Database files (sp_helpfile)")
          .Columns({"name", "fileid", "filename", "filegroup"})
          .Key({"name", "filename"})
          .Volatile({"size"}),
      Rule("Database space (sp_spaceused)")
          .Columns({"database_name", "database_size", "unallocated space"})
          .Key({"database_name"})
          .Volatile({"database_size", "unallocated space"}),
      Rule("Space used (sp_spaceused)")
          .Columns({"reserved", "data", "index_size", "unused"})
          .AllVolatile(),
      Rule("Server roles").Columns({"ServerRole", "Description"}).Key({"ServerRole"}),
      Rule("Server role members")
          .Columns({"ServerRole", "MemberName"})
          .Key({"ServerRole", "MemberName"}),
      Rule("Logins (sp_helplogins)").Columns({"LoginName", "DefDBName"}).Key({"LoginName"}),
      Rule("Login users (sp_helplogins)")
          .Columns({"LoginName", "DBName", "UserName"})
          .Key({"LoginName", "DBName", "UserName"}),
      Rule("Windows account privileges (xp_logininfo)")
          .Columns({"account name", "permission path"})
          .Key({"account name", "permission path"}),
      Rule("Orphaned Windows users or groups").Columns({"NT Login"}).Key({"NT Login"}),
      Rule("Login security configuration (xp_loginconfig)")
          .Columns({"name", "config value"})
          .Key({"name"}),
      Rule("Replicated databases").Columns({"name", "transpublish"}).Key({"name"}),
      Rule("Distributor").Columns({"distributor", "distribution database"}).Key({"distributor"}),
      Rule("Distribution databases").Columns({"name", "min_distretention"}).Key({"name"}),
      Rule("Distribution publishers").Columns({"name", "distribution_db"}).Key({"name"}),
      Rule("Publications").OfCommand("sp_helppublication").Columns({"pubid", "name"}).Key({"name"}),
      Rule("Merge publications").OfCommand("sp_helpmergepublication").Key({"name"}),
      Rule("Subscribers")
          .Columns({"publisher", "subscriber", "commit_batch_size"})
          .Key({"publisher", "subscriber"}),
      // A finding is named by its id and subject; its values and where they stand change by
      // themselves (free space, a job's last run).
      Rule("Findings")
          .InSection("Findings")
          .Columns({"id", "subject", "severity"})
          .Key({"id", "subject"})
          .Volatile({"detail", "resultSet", "row"}),
      Rule("Replication counters").Columns({"Database", "Replicated transactions"}).AllVolatile(),
  };
  return kRules;
}

bool Matches(const TableRule& rule, std::string_view anchor, std::string_view command,
             const std::vector<std::string>& columns) {
  if (!rule.anchor.empty() && !SameName(rule.anchor, anchor)) return false;
  if (!rule.commandContains.empty() && !Contains(command, rule.commandContains)) return false;
  return std::all_of(rule.columns.begin(), rule.columns.end(), [&](std::string_view wanted) {
    return std::any_of(columns.begin(), columns.end(),
                       [&](const std::string& column) { return SameName(column, wanted); });
  });
}

}  // namespace

const TableRule* FindTableRule(std::string_view anchor, std::string_view command,
                               const std::vector<std::string>& columns) {
  for (const TableRule& rule : Rules()) {
    if (Matches(rule, anchor, command, columns)) return &rule;
  }
  return nullptr;
}

}  // namespace quorvane::snapshot
