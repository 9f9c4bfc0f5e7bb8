#pragma once

#include <string_view>

#include "report/query_runner.h"
#include "report/resources.h"

// SQL Server Agent: operators, alerts, jobs, maintenance plans and job history, read from msdb.
// Agent dates and times are turned into text by the server (see agent_dates.h).
namespace quorvane::sections {

void sp_help_operator(report::QueryRunner& q);
void sp_help_alert(report::QueryRunner& q);
// Runs the embedded job script; it leaves #JobInfo on the connection, so once per connection.
void sp_help_job(report::QueryRunner& q);
void MaintenancePlans(report::QueryRunner& q);
// The newest runs and steps, as many as the JobHistory setting asks for.
void JobHistory(report::QueryRunner& q);
// The newest failed runs and steps, as many as the JobHistoryLimit setting asks for.
void JobHistoryFailures(report::QueryRunner& q);
// The longest runs and steps, as many as the JobHistoryLimit setting asks for.
void JobHistoryLongRunning(report::QueryRunner& q);

}  // namespace quorvane::sections
