#include "sections/agent.h"

#include <string>
#include <string_view>
#include <vector>

#include "sections/agent_dates.h"

namespace quorvane::sections {

namespace {

using Lines = std::vector<std::string>;

void Add(Lines& lines, const Lines& more) {
  lines.insert(lines.end(), more.begin(), more.end());
}

// A script's lines: split at LF, a CR before it dropped; a final line break adds no line.
Lines ScriptLines(std::string_view text) {
  Lines lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// The history script with its row count filled in, ending in the open FROM of its final select
// so that `closing` can filter or order it before the temporary table is dropped. The temporary
// table holds instance_id negated, so ordering by it puts the newest run first: without an
// ORDER BY, TOP would take whichever rows the server reads first.
void HistorySection(report::QueryRunner& q, int count, const Lines& closing) {
  const std::string placeholder = "{Count}";
  const std::string number = std::to_string(count);
  Lines lines = ScriptLines(report::LoadResource("Resource_SQLJobHistory"));
  for (std::string& line : lines) {
    for (std::size_t at = line.find(placeholder); at != std::string::npos;
         at = line.find(placeholder, at + number.size())) {
      line.replace(at, placeholder.size(), number);
    }
  }
  Add(lines, closing);
  lines.emplace_back("drop table #JobHistoryTmp");
  q.TableSection(lines);
}

}  // namespace

void sp_help_operator(report::QueryRunner& q) {
  Lines lines{"select [id], enabled, email_address, "};
  Add(lines, DatePattern("last_email_date", "last_email_date,"));
  Add(lines, TimePattern("last_email_time", "last_email_time,"));
  lines.emplace_back("pager_address,");
  Add(lines, DatePattern("last_pager_date", "last_pager_date,"));
  Add(lines, TimePattern("last_pager_time", "last_pager_time,"));
  lines.emplace_back("netsend_address,");
  Add(lines, DatePattern("last_netsend_date", "last_netsend_date,"));
  Add(lines, TimePattern("last_netsend_time", "last_netsend_time"));
  lines.emplace_back("from msdb.dbo.sysoperators");
  q.TableSection(lines);
}

void sp_help_alert(report::QueryRunner& q) {
  // clang-format off
  Lines lines{
      "select a.[id], a.[name], a.enabled, a.database_name as 'database name', a.event_source as 'event source', a.message_id as 'message id', a.severity,",
      "a.event_description_keyword as 'event description keyword', a.delay_between_responses as 'delay between responses', a.notification_message as 'notification message', a.occurrence_count as 'occurrence count',"};
  // clang-format on
  Add(lines, DatePattern("a.last_occurrence_date", "'last occurrence date',"));
  Add(lines, TimePattern("a.last_occurrence_time", "'last occurrence time',"));
  Add(lines, DatePattern("a.count_reset_date", "'count reset date',"));
  Add(lines, TimePattern("a.count_reset_time", "'count reset time',"));
  // clang-format off
  Add(lines, {
      "j.[name] as 'job name', a.has_notification as 'has notification', a.flags, a.performance_condition as 'performance condition' ",
      "from msdb.dbo.sysalerts a left join msdb.dbo.sysjobs j on a.job_id = j.job_id",
      "order by a.severity, a.[name]"});
  // clang-format on
  q.TableSection(lines);
}

void sp_help_job(report::QueryRunner& q) {
  q.TableSection(ScriptLines(report::LoadResource("Resource_SQLJobInfo")));
}

void MaintenancePlans(report::QueryRunner& q) {
  // clang-format off
  q.TableSection({
      "select p.plan_name, n.database_name, p.date_created, p.owner, p.max_history_rows, p.remote_history_server, p.max_remote_history_rows,",
      "(select [name] from msdb.dbo.sysjobs where job_id = j.job_id) as job_name",
      "from msdb.dbo.sysdbmaintplans p",
      "left join msdb.dbo.sysdbmaintplan_databases n on p.plan_id = n.plan_id",
      "left join msdb.dbo.sysdbmaintplan_jobs j on p.plan_id = j.plan_id",
      "order by n.database_name"});
  // clang-format on
}

void JobHistory(report::QueryRunner& q) {
  HistorySection(q, q.Host().JobHistory(), {"order by instance_id"});
}

void JobHistoryFailures(report::QueryRunner& q) {
  HistorySection(q, q.Host().JobHistoryLimit(), {"where run_status = 0", "order by instance_id"});
}

void JobHistoryLongRunning(report::QueryRunner& q) {
  HistorySection(q, q.Host().JobHistoryLimit(), {"order by run_duration desc, instance_id"});
}

}  // namespace quorvane::sections
