#pragma once

#include "report/query_runner.h"

// The computer that runs the server, seen through the server: xp_cmdshell output and the OLE
// Automation procedures. The report run calls these only when the Settings allow those
// facilities; they do not check the settings themselves.
namespace quorvane::sections {

// `ipconfig /all` on the server's computer, as a pre block.
void GetNetworkConfig(report::QueryRunner& q);
// `schtasks`, or `at` on a computer too old to know schtasks, as a pre block.
void GetScheduledWindowsJobs(report::QueryRunner& q);
// Size and free space of every fixed drive, as a table.
void GetDiskInfo(report::QueryRunner& q);

}  // namespace quorvane::sections
