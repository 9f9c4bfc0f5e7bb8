#pragma once

#include <string>
#include <string_view>

// The demo instance as an auditor's login sees it: not sysadmin, no VIEW SERVER STATE, a user in
// some databases only. The walk over the databases cannot open the first, one in the middle and
// the last (916); the msdb tables the Agent sections read are denied (229); xp_cmdshell, the OLE
// Automation procedures and the procedures that need a server role are refused. Everything else
// is the demo's.
namespace sqlsim {

inline constexpr const char* kAuditLogin = "audit";
inline constexpr const char* kAuditPassword = "Audit-2026";

// `demoJson` with those answers; the demo's own login stays. Throws std::runtime_error when a
// rule it builds on is missing.
std::string LeastPrivilegeScenario(std::string_view demoJson);

}  // namespace sqlsim
