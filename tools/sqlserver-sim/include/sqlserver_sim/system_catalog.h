#pragma once

#include <string_view>
#include <vector>

// The system procedures, tables and views the simulator knows by name, in SQL Server's own
// letter case, for the case-sensitive server mode.
namespace sqlsim {

struct SystemTable {
  // "sysdatabases" matches the last part of a name (master..sysdatabases, dbo.sysjobs);
  // "sys.databases" needs its schema too (sys.databases, master.sys.databases).
  std::string_view name;
  std::vector<std::string_view> columns;
};

// Stored and extended procedures: sp_MSforeachdb, xp_cmdshell, ...
const std::vector<std::string_view>& SystemProcedures();
const std::vector<SystemTable>& SystemTables();

}  // namespace sqlsim
