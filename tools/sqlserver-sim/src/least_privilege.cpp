#include "sqlserver_sim/least_privilege.h"

#include <nlohmann/json.hpp>
#include <stdexcept>

namespace sqlsim {

namespace {

using nlohmann::json;

json ErrorItem(int number, int severity, int state, const std::string& text) {
  return {{"error", {{"number", number}, {"class", severity}, {"state", state}, {"text", text}}}};
}

json Denied(const std::string& permission, const std::string& object, const std::string& database,
            const std::string& schema) {
  return ErrorItem(229, 14, 5,
                   "The " + permission + " permission was denied on the object '" + object +
                       "', database '" + database + "', schema '" + schema + "'.");
}

json NoAccess(const std::string& database) {
  return ErrorItem(916, 14, 2,
                   std::string("The server principal \"") + kAuditLogin +
                       "\" is not able to access the database \"" + database +
                       "\" under the current security context.");
}

// The rules whose text starts with `start` (every one: the job history has three).
std::vector<json*> Rules(json& scenario, std::string_view start) {
  std::vector<json*> found;
  for (json& rule : scenario.at("batches")) {
    const std::string text = rule.value("sql", rule.value("pattern", std::string()));
    if (text.starts_with(start)) found.push_back(&rule);
  }
  if (found.empty())
    throw std::runtime_error("least privilege: no rule starts with " + std::string(start));
  return found;
}

void Refuse(json& scenario, std::string_view start, const json& error) {
  for (json* rule : Rules(scenario, start)) (*rule)["results"] = json::array({error});
}

// The walk's databases, each starting with sp_helpfile's result; the listed ones answer 916.
void RefuseInWalk(json& scenario) {
  json& results =
      (*Rules(scenario, "EXEC sp_MSforeachdb 'USE [?]; EXEC sp_helpfile")[0])["results"];
  std::vector<json> groups;
  for (const json& item : results) {
    const bool starts = item.contains("rows") && item["rows"]["columns"][0]["name"] == "name";
    if (starts || item.contains("error") || groups.empty()) groups.push_back(json::array());
    groups.back().push_back(item);
  }
  auto databaseOf = [](const json& group) {
    for (const json& item : group) {
      if (item.contains("rows") && item["rows"]["columns"][0]["name"] == "database_name") {
        return item["rows"]["data"][0][0].get<std::string>();
      }
    }
    return std::string();
  };
  const std::size_t middle = groups.size() / 2;
  json walk = json::array();
  for (std::size_t i = 0; i < groups.size(); ++i) {
    const std::string database = databaseOf(groups[i]);
    const bool refused = !database.empty() && (i == 0 || i == middle || i + 1 == groups.size());
    if (refused) {
      walk.push_back(NoAccess(database));
    } else {
      for (const json& item : groups[i]) walk.push_back(item);
    }
  }
  results = std::move(walk);
}

}  // namespace

std::string LeastPrivilegeScenario(std::string_view demoJson) {
  json scenario = json::parse(demoJson, nullptr, true, /*ignore_comments=*/true);
  scenario["logins"].push_back({{"name", kAuditLogin}, {"password", kAuditPassword}});

  const std::string resource = "mssqlsystemresource";
  Refuse(scenario, "exec master..xp_cmdshell", Denied("EXECUTE", "xp_cmdshell", resource, "sys"));
  Refuse(scenario, "SET NOCOUNT ON\nDECLARE @hr int",
         Denied("EXECUTE", "sp_OACreate", resource, "sys"));
  Refuse(scenario, "exec msdb..sp_help_targetserver",
         Denied("EXECUTE", "sp_help_targetserver", "msdb", "dbo"));
  Refuse(scenario, "select [id], enabled, email_address",
         Denied("SELECT", "sysoperators", "msdb", "dbo"));
  Refuse(scenario, "select a.[id], a.[name], a.enabled",
         Denied("SELECT", "sysalerts", "msdb", "dbo"));
  Refuse(scenario, "DECLARE @is_sysadmin INT", Denied("SELECT", "sysjobs", "msdb", "dbo"));
  Refuse(scenario, "select p.plan_name", Denied("SELECT", "sysdbmaintplans", "msdb", "dbo"));
  Refuse(scenario, "SELECT distinct \n\tsj\\.job_id", Denied("SELECT", "sysjobs", "msdb", "dbo"));
  Refuse(scenario, "exec master..sp_helplogins",
         ErrorItem(15003, 16, 1,
                   "Only members of the securityadmin role can execute this stored procedure."));
  Refuse(scenario, "exec master..sp_validatelogins",
         ErrorItem(15247, 16, 1, "User does not have permission to perform this action."));
  Refuse(scenario, "EXEC master..sp_replcounters",
         ErrorItem(15247, 16, 1, "User does not have permission to perform this action."));
  RefuseInWalk(scenario);
  return scenario.dump();
}

}  // namespace sqlsim
