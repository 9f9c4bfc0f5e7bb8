#include "sections/agent.h"

#include <gtest/gtest.h>

#include "section_test.h"

namespace quorvane::testing {
namespace {

using namespace sections;
using Lines = std::vector<std::string>;

Lines Join(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// The embedded script as the batch must carry it: its own CR LF line breaks, without the one
// that ends the last line.
std::string ScriptBatch(std::string_view script) {
  std::string text(script);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  return text.substr(0, text.size() - 2);
}

// The history script with the count filled in (it ends in a line break), then `closing`.
std::string HistoryBatch(const std::string& count, const std::string& closing) {
  std::string text(resources::SqlJobHistory());
  const std::size_t at = text.find("{Count}");
  EXPECT_NE(at, std::string::npos);
  text.replace(at, 7, count);
  return text + closing + "drop table #JobHistoryTmp";
}

TEST_F(SectionTest, OperatorsSendTheirTwentyTwoLines) {
  sp_help_operator(q);
  const Lines expected = Join({
      {"select [id], enabled, email_address, "},
      ExpectedDateLines("last_email_date", "last_email_date,"),
      ExpectedTimeLines("last_email_time", "last_email_time,"),
      {"pager_address,"},
      ExpectedDateLines("last_pager_date", "last_pager_date,"),
      ExpectedTimeLines("last_pager_time", "last_pager_time,"),
      {"netsend_address,"},
      ExpectedDateLines("last_netsend_date", "last_netsend_date,"),
      ExpectedTimeLines("last_netsend_time", "last_netsend_time"),
      {"from msdb.dbo.sysoperators"},
  });
  ASSERT_EQ(expected.size(), 22u);
  EXPECT_EQ(OnlyBatchLines(), expected);
}

// clang-format off
TEST_F(SectionTest, AlertsSendTheirSeventeenLines) {
  sp_help_alert(q);
  const Lines expected = Join({
      {"select a.[id], a.[name], a.enabled, a.database_name as 'database name', a.event_source as 'event source', a.message_id as 'message id', a.severity,",
       "a.event_description_keyword as 'event description keyword', a.delay_between_responses as 'delay between responses', a.notification_message as 'notification message', a.occurrence_count as 'occurrence count',"},
      ExpectedDateLines("a.last_occurrence_date", "'last occurrence date',"),
      ExpectedTimeLines("a.last_occurrence_time", "'last occurrence time',"),
      ExpectedDateLines("a.count_reset_date", "'count reset date',"),
      ExpectedTimeLines("a.count_reset_time", "'count reset time',"),
      {"j.[name] as 'job name', a.has_notification as 'has notification', a.flags, a.performance_condition as 'performance condition' ",
       "from msdb.dbo.sysalerts a left join msdb.dbo.sysjobs j on a.job_id = j.job_id",
       "order by a.severity, a.[name]"},
  });
  ASSERT_EQ(expected.size(), 17u);
  EXPECT_EQ(OnlyBatchLines(), expected);
}

TEST_F(SectionTest, MaintenancePlansSendTheirSixLines) {
  MaintenancePlans(q);
  EXPECT_EQ(OnlyBatchLines(), (Lines{
      "select p.plan_name, n.database_name, p.date_created, p.owner, p.max_history_rows, p.remote_history_server, p.max_remote_history_rows,",
      "(select [name] from msdb.dbo.sysjobs where job_id = j.job_id) as job_name",
      "from msdb.dbo.sysdbmaintplans p",
      "left join msdb.dbo.sysdbmaintplan_databases n on p.plan_id = n.plan_id",
      "left join msdb.dbo.sysdbmaintplan_jobs j on p.plan_id = j.plan_id",
      "order by n.database_name",
  }));
}
// clang-format on

TEST_F(SectionTest, JobsSendTheJobScriptUnchanged) {
  sp_help_job(q);
  ASSERT_EQ(conn.Batches().size(), 1u);
  EXPECT_EQ(conn.Batches()[0], ScriptBatch(resources::SqlJobInfo()));
}

TEST_F(SectionTest, JobsShowTheFinalSelectAfterTheRowCountsOfTheScript) {
  conn.On(ScriptBatch(resources::SqlJobInfo()),
          {data::RowCount{3}, data::RowCount{3}, data::RowCount{2},
           TextRows({"name", "last run date"}, {{"Backup", "15/03/2010"}})});
  sp_help_job(q);
  EXPECT_EQ(buf.Entries(), Lines{Table({"Name", "Last Run Date"}, {{"Backup", "15/03/2010"}})});
}

TEST_F(SectionTest, HistoryBatchesCarryTheSettingsCountAndTheirClosingLines) {
  host.jobHistory = 100;
  host.jobHistoryLimit = 20;
  JobHistory(q);
  JobHistoryFailures(q);
  JobHistoryLongRunning(q);
  ASSERT_EQ(conn.Batches().size(), 3u);
  // TOP takes the newest runs only with an ORDER BY: instance_id is negated in the table.
  EXPECT_EQ(conn.Batches()[0], HistoryBatch("100", "order by instance_id\r\n"));
  EXPECT_EQ(conn.Batches()[1],
            HistoryBatch("20", "where run_status = 0\r\norder by instance_id\r\n"));
  EXPECT_EQ(conn.Batches()[2], HistoryBatch("20", "order by run_duration desc, instance_id\r\n"));

  const Lines all = SplitBatch(conn.Batches()[0]);
  ASSERT_EQ(all.size(), 42u);
  EXPECT_EQ(all[22], "select top 100 ");
  EXPECT_EQ(Lines(all.end() - 3, all.end()),
            (Lines{"from #JobHistoryTmp", "order by instance_id", "drop table #JobHistoryTmp"}));

  const Lines failures = SplitBatch(conn.Batches()[1]);
  ASSERT_EQ(failures.size(), 43u);
  EXPECT_EQ(failures[22], "select top 20 ");
  EXPECT_EQ(Lines(failures.end() - 4, failures.end()),
            (Lines{"from #JobHistoryTmp", "where run_status = 0", "order by instance_id",
                   "drop table #JobHistoryTmp"}));

  const Lines longest = SplitBatch(conn.Batches()[2]);
  ASSERT_EQ(longest.size(), 42u);
  EXPECT_EQ(longest[22], "select top 20 ");
  EXPECT_EQ(Lines(longest.end() - 3, longest.end()),
            (Lines{"from #JobHistoryTmp", "order by run_duration desc, instance_id",
                   "drop table #JobHistoryTmp"}));

  for (const std::string& batch : conn.Batches()) {
    EXPECT_EQ(batch.find("{Count}"), std::string::npos);
  }
}

TEST_F(SectionTest, HistoryCountsAreTheSettingsAtTheMomentOfTheCall) {
  host.jobHistory = 1;
  host.jobHistoryLimit = 1000;
  JobHistory(q);
  JobHistoryFailures(q);
  host.jobHistoryLimit = 7;
  JobHistoryLongRunning(q);
  ASSERT_EQ(conn.Batches().size(), 3u);
  EXPECT_EQ(SplitBatch(conn.Batches()[0])[22], "select top 1 ");
  EXPECT_EQ(SplitBatch(conn.Batches()[1])[22], "select top 1000 ");
  EXPECT_EQ(SplitBatch(conn.Batches()[2])[22], "select top 7 ");
}

const std::vector<std::pair<const char*, Generator>> kAgent = {
    {"sp_help_operator", sp_help_operator},
    {"sp_help_alert", sp_help_alert},
    {"sp_help_job", sp_help_job},
    {"MaintenancePlans", MaintenancePlans},
    {"JobHistory", JobHistory},
    {"JobHistoryFailures", JobHistoryFailures},
    {"JobHistoryLongRunning", JobHistoryLongRunning},
};

TEST_F(SectionTest, EveryAgentSectionThatFailsLeavesTheErrorBlockAndNone) {
  FailEveryBatch();
  for (const auto& [name, generator] : kAgent) {
    buf.Clear();
    q.ReportExceptionCount = 0;
    generator(q);
    EXPECT_EQ(buf.Entries(), (Lines{ErrorBlock(kDenied), kNone})) << name;
    EXPECT_EQ(q.ReportExceptionCount, 1) << name;
  }
  EXPECT_EQ(conn.Batches().size(), kAgent.size());
}

TEST_F(SectionTest, OneFailingAgentSectionLeavesTheOthersAlone) {
  conn.SetDefault({TextRows({"name"}, {{"x"}})});
  // Learn the alerts batch, then make that one alone fail.
  sp_help_alert(q);
  conn.On(conn.Batches().back(), {ScriptedError{"Invalid object name 'msdb.dbo.sysalerts'.", 208}});
  buf.Clear();
  for (const auto& entry : kAgent) entry.second(q);
  const std::string table = Table({"Name"}, {{"x"}});
  EXPECT_EQ(buf.Entries(), (Lines{table, ErrorBlock("Invalid object name 'msdb.dbo.sysalerts'."),
                                  kNone, table, table, table, table, table}));
  EXPECT_EQ(q.ReportExceptionCount, 1);
}

TEST_F(SectionTest, EmptyAgentTablesShowNone) {
  conn.SetDefault({data::RowCount{0}, NoRows({"job_name", "run_status"})});
  for (const auto& entry : kAgent) entry.second(q);
  EXPECT_EQ(buf.Entries(), Lines(kAgent.size(), kNone));
  EXPECT_EQ(q.ReportExceptionCount, 0);
}

TEST_F(SectionTest, HistoryDurationHeadingKeepsItsLineBreak) {
  conn.SetDefault({TextRows({"job_name", "run duration<br>(H:M:S)"}, {{"Backup", "1:23:45"}})});
  JobHistory(q);
  EXPECT_EQ(buf.Entries(),
            Lines{Table({"Job Name", "Run Duration<Br>(H:M:S)"}, {{"Backup", "1:23:45"}})});
}

}  // namespace
}  // namespace quorvane::testing
