// The two embedded Agent scripts: their form, and the statements, columns and orders the report
// relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "section_test.h"
#include "sections/agent.h"

namespace quorvane::testing {
namespace {

using Lines = std::vector<std::string>;

// The script's lines at its CR LF breaks; the break after the last line adds none.
Lines ScriptLines(std::string_view script) {
  std::string text(script);
  if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n") text.resize(text.size() - 2);
  return SplitBatch(text);
}

// A line without its indentation and with runs of blanks made one, for column lists that are
// laid out in columns.
std::string Squeezed(const std::string& line) {
  std::string out;
  for (char c : line) {
    if (c == '\t') c = ' ';
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string Unindented(const std::string& line) {
  return line.substr(std::min(line.find_first_not_of('\t'), line.size()));
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++n;
  }
  return n;
}

// Parentheses and quotes of T-SQL text balance: nothing was lost when the script was written.
void ExpectBalanced(const std::string& text) {
  int depth = 0;
  bool inString = false;
  for (char c : text) {
    if (c == '\'') inString = !inString;
    if (inString) continue;
    if (c == '(') ++depth;
    if (c == ')') --depth;
    ASSERT_GE(depth, 0);
  }
  EXPECT_EQ(depth, 0);
  EXPECT_FALSE(inString);
}

void ExpectPlainCrLfText(std::string_view script) {
  ASSERT_GE(script.size(), 2u);
  EXPECT_NE(script.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(script.substr(script.size() - 2), "\r\n");
  for (std::size_t i = 0; i < script.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(script[i]);
    EXPECT_LT(c, 0x80u) << "at " << i;
    if (c == '\n') {
      EXPECT_TRUE(i > 0 && script[i - 1] == '\r') << "bare LF at " << i;
    }
    if (c == '\r') {
      EXPECT_TRUE(i + 1 < script.size() && script[i + 1] == '\n') << "bare CR at " << i;
    }
  }
  for (const std::string& line : ScriptLines(script)) {
    EXPECT_NE(line.substr(0, 1), " ") << "indent with tabs: " << line;
  }
}

// Each text occurs, in this order, as part of one line.
void ExpectInOrder(const Lines& lines, const Lines& texts) {
  auto from = lines.begin();
  for (const std::string& text : texts) {
    auto it = std::find_if(from, lines.end(), [&](const std::string& line) {
      return line.find(text) != std::string::npos;
    });
    ASSERT_NE(it, lines.end()) << "missing or out of order: " << text;
    from = it + 1;
  }
}

// The lines of a CREATE TABLE block, squeezed, without the trailing commas.
Lines TableColumns(const Lines& lines, const std::string& table) {
  auto it = std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
    return Squeezed(line) == "CREATE TABLE " + table;
  });
  EXPECT_NE(it, lines.end()) << table;
  Lines columns;
  if (it == lines.end() || ++it == lines.end() || Squeezed(*it) != "(") return columns;
  for (++it; it != lines.end() && Squeezed(*it) != ")"; ++it) {
    std::string column = Squeezed(*it);
    if (!column.empty() && column.back() == ',') column.pop_back();
    columns.push_back(column);
  }
  return columns;
}

// --- The job history script ---

TEST(JobHistoryScript, IsFortyLinesOfPlainTextWithCrLf) {
  const std::string_view script = resources::SqlJobHistory();
  ExpectPlainCrLfText(script);
  EXPECT_EQ(ScriptLines(script).size(), 40u);
  ExpectBalanced(std::string(script));
}

TEST(JobHistoryScript, HoldsTheCountOnceAndEndsInTheFinalFrom) {
  const std::string script(resources::SqlJobHistory());
  const Lines lines = ScriptLines(script);
  EXPECT_EQ(Count(script, "{Count}"), 1u);
  ASSERT_EQ(lines.size(), 40u);
  EXPECT_EQ(lines[22], "select top {Count} ");
  EXPECT_EQ(lines.back(), "from #JobHistoryTmp");
}

TEST(JobHistoryScript, FillsTheTemporaryTableNewestFirst) {
  const Lines lines = ScriptLines(resources::SqlJobHistory());
  const Lines first(lines.begin(), lines.begin() + 22);
  ExpectInOrder(first, {
                           "SELECT distinct ",
                           "sj.job_id",
                           "job_name = sj.name",
                           "sjh.run_status",
                           "sjh.run_date",
                           "sjh.run_time",
                           "sjh.run_duration",
                           "operator_emailed = substring(so1.name, 1, 20)",
                           "operator_netsent = substring(so2.name, 1, 20)",
                           "operator_paged = substring(so3.name, 1, 20)",
                           "sjh.retries_attempted",
                           "sjh.server",
                           "sjh.instance_id * -1 as instance_id",
                           "INTO #JobHistoryTmp",
                           "FROM msdb.dbo.sysjobhistory sjh",
                           "msdb.dbo.sysoperators so1 ON (sjh.operator_id_emailed = so1.id)",
                           "msdb.dbo.sysoperators so2 ON (sjh.operator_id_netsent = so2.id)",
                           "msdb.dbo.sysoperators so3 ON (sjh.operator_id_paged = so3.id)",
                           "msdb.dbo.sysjobs_view sj",
                           "WHERE (sj.job_id = sjh.job_id)",
                           "ORDER BY (sjh.instance_id * -1)",
                       });
  EXPECT_EQ(std::count_if(first.begin(), first.end(),
                          [](const std::string& l) {
                            return l.find("LEFT OUTER JOIN msdb.dbo.sysoperators") !=
                                   std::string::npos;
                          }),
            3);
}

TEST(JobHistoryScript, FinalSelectHasTheTenColumns) {
  const Lines lines = ScriptLines(resources::SqlJobHistory());
  Lines select;
  for (auto it = lines.begin() + 23; it != lines.end() - 1; ++it) select.push_back(Unindented(*it));
  const Lines time = ExpectedTimeLines("run_duration", "'run duration<br>(H:M:S)',");
  Lines expected{"job_name, ", "run_status, "};
  for (const auto& l : ExpectedDateLines("run_date", "'run date', ")) expected.push_back(l);
  for (const auto& l : ExpectedTimeLines("run_time", "'run time',")) expected.push_back(l);
  expected.push_back("convert(varchar(4), (run_duration / 10000)) + ':' +");
  expected.push_back(time[1]);
  expected.push_back(time[2]);
  for (const char* column :
       {"operator_emailed, ", "operator_netsent, ", "operator_paged, ", "retries_attempted, "}) {
    expected.push_back(column);
  }
  expected.push_back("server ");
  EXPECT_EQ(select, expected);
}

// --- The job information script ---

TEST(JobInfoScript, IsPlainTextWithCrLf) {
  const std::string_view script = resources::SqlJobInfo();
  ExpectPlainCrLfText(script);
  ExpectBalanced(std::string(script));
  EXPECT_EQ(std::string(script).find("NOCOUNT"), std::string::npos);
}

TEST(JobInfoScript, DeclaresTheThreeWorkTables) {
  const Lines lines = ScriptLines(resources::SqlJobInfo());
  EXPECT_EQ(TableColumns(lines, "#job_execution_state"),
            (Lines{
                "job_id UNIQUEIDENTIFIER NOT NULL",
                "date_started INT NOT NULL",
                "time_started INT NOT NULL",
                "execution_job_status INT NOT NULL",
                "execution_step_id INT NULL",
                "execution_step_name sysname COLLATE database_default NULL",
                "execution_retry_attempt INT NOT NULL",
                "next_run_date INT NOT NULL",
                "next_run_time INT NOT NULL",
                "next_run_schedule_id INT NOT NULL",
            }));
  EXPECT_EQ(TableColumns(lines, "#filtered_jobs"),
            (Lines{
                "job_id UNIQUEIDENTIFIER NOT NULL",
                "date_created DATETIME NOT NULL",
                "date_last_modified DATETIME NOT NULL",
                "current_execution_status INT NULL",
                // "N (step name)" of a running step: wider than any step name (a sysname).
                "current_execution_step NVARCHAR(400) COLLATE database_default NULL",
                "current_retry_attempt INT NULL",
                "last_run_date INT NOT NULL",
                "last_run_time INT NOT NULL",
                "last_run_outcome INT NOT NULL",
                "next_run_date INT NULL",
                "next_run_time INT NULL",
                "next_run_schedule_id INT NULL",
                "[type] INT NOT NULL",
            }));
  EXPECT_EQ(TableColumns(lines, "#xp_results"),
            (Lines{
                "job_id UNIQUEIDENTIFIER NOT NULL",
                "last_run_date INT NOT NULL",
                "last_run_time INT NOT NULL",
                "next_run_date INT NOT NULL",
                "next_run_time INT NOT NULL",
                "next_run_schedule_id INT NOT NULL",
                "requested_to_run INT NOT NULL",
                "request_source INT NOT NULL",
                "request_source_id sysname COLLATE database_default NULL",
                "running INT NOT NULL",
                "current_step INT NOT NULL",
                "current_retry_attempt INT NOT NULL",
                "job_state INT NOT NULL",
            }));
}

// clang-format off
TEST(JobInfoScript, RunsItsStepsInOrder) {
  const Lines lines = ScriptLines(resources::SqlJobInfo());
  ExpectInOrder(lines, {
      "DECLARE @is_sysadmin INT",
      "DECLARE @job_owner sysname",
      "CREATE TABLE #job_execution_state",
      "CREATE TABLE #filtered_jobs",
      "CREATE TABLE #xp_results",
      "SET @is_sysadmin = ISNULL(IS_SRVROLEMEMBER(N'sysadmin'), 0)",
      // Members of msdb's Agent reader and operator roles see every job's live state too; the
      // roles are asked for in msdb, where they live.
      "IF (@is_sysadmin = 0)",
      "EXECUTE msdb.dbo.sp_executesql",
      "N'SELECT @all = CASE WHEN ISNULL(IS_MEMBER(N''SQLAgentReaderRole''), 0) = 1 OR "
      "ISNULL(IS_MEMBER(N''SQLAgentOperatorRole''), 0) = 1 THEN 1 ELSE 0 END',",
      "N'@all INT OUTPUT', @all = @is_sysadmin OUTPUT",
      "SET @job_owner = SUSER_SNAME()",
      // Live job states, with the version test for the enumeration's third argument.
      "IF ((@@microsoftversion / 0x01000000) >= 8)",
      "INSERT INTO #xp_results EXECUTE master.dbo.xp_sqlagent_enum_jobs @is_sysadmin, @job_owner, null",
      "ELSE",
      "INSERT INTO #xp_results EXECUTE master.dbo.xp_sqlagent_enum_jobs @is_sysadmin, @job_owner",
      // #job_execution_state
      "INSERT INTO #job_execution_state",
      "xpr.job_id", "xpr.last_run_date", "xpr.last_run_time", "xpr.job_state", "sjs.step_id",
      "sjs.step_name", "xpr.current_retry_attempt", "xpr.next_run_date", "xpr.next_run_time",
      "xpr.next_run_schedule_id",
      "FROM #xp_results xpr",
      "LEFT OUTER JOIN msdb.dbo.sysjobsteps sjs ON ((xpr.job_id = sjs.job_id) AND (xpr.current_step = sjs.step_id))",
      "msdb.dbo.sysjobs_view sjv",
      "WHERE (sjv.job_id = xpr.job_id)",
      // #filtered_jobs
      "INSERT INTO #filtered_jobs",
      "sjv.job_id", "sjv.date_created", "sjv.date_modified",
      "ISNULL(jes.execution_job_status, 4)",
      "CASE ISNULL(jes.execution_step_id, 0) WHEN 0 THEN NULL ELSE CONVERT(NVARCHAR, jes.execution_step_id) + N' (' + jes.execution_step_name + N')' END",
      "jes.execution_retry_attempt",
      "0,", "0,", "5,",
      "jes.next_run_date", "jes.next_run_time", "jes.next_run_schedule_id",
      "0",
      "FROM msdb.dbo.sysjobs_view sjv",
      "LEFT OUTER JOIN #job_execution_state jes ON (sjv.job_id = jes.job_id)",
      // Idle multi-server jobs
      "SET current_execution_status = NULL",
      "WHERE (current_execution_status = 4)",
      "AND (job_id IN (SELECT job_id FROM msdb.dbo.sysjobservers WHERE (server_id <> 0)))",
      // Last run
      "IF (EXISTS (SELECT * FROM msdb.dbo.systargetservers))",
      "SET last_run_date = sjs.last_run_date",
      "last_run_time = sjs.last_run_time",
      "last_run_outcome = sjs.last_run_outcome",
      "msdb.dbo.sysjobservers sjs",
      "(CONVERT(FLOAT, sjs.last_run_date) * 1000000) + sjs.last_run_time = ",
      "(SELECT MAX((CONVERT(FLOAT, last_run_date) * 1000000) + last_run_time) ",
      "WHERE (job_id = sjs.job_id))",
      "ELSE",
      "SET last_run_date = sjs.last_run_date",
      "last_run_time = sjs.last_run_time",
      "last_run_outcome = sjs.last_run_outcome",
      "msdb.dbo.sysjobservers sjs",
      "WHERE (fj.job_id = sjs.job_id)",
      // Type: local first, then multi-server, so that a job with both ends as 2.
      "SET [type] = 1",
      "(server_id = 0)",
      "SET [type] = 2",
      "(server_id <> 0)",
      // #JobInfo
      "sjv.job_id", "sjv.originating_server", "sjv.name", "sjv.enabled", "sjv.description",
      "sjv.start_step_id",
      "category = ISNULL(sc.name, FORMATMESSAGE(14205))",
      "owner = SUSER_SNAME(sjv.owner_sid)",
      "sjv.notify_level_eventlog", "sjv.notify_level_email", "sjv.notify_level_netsend",
      "sjv.notify_level_page",
      "notify_email_operator = ISNULL(so1.name, FORMATMESSAGE(14205))",
      "notify_netsend_operator = ISNULL(so2.name, FORMATMESSAGE(14205))",
      "notify_page_operator = ISNULL(so3.name, FORMATMESSAGE(14205))",
      "sjv.delete_level", "sjv.date_created", "sjv.date_modified", "sjv.version_number",
      "fj.last_run_date", "fj.last_run_time", "fj.last_run_outcome",
      "next_run_date = ISNULL(fj.next_run_date, 0)",
      "next_run_time = ISNULL(fj.next_run_time, 0)",
      "next_run_schedule_id = ISNULL(fj.next_run_schedule_id, 0)",
      "current_execution_status = ISNULL(fj.current_execution_status, 0)",
      "current_execution_step = ISNULL(fj.current_execution_step, N'0 ' + FORMATMESSAGE(14205))",
      "current_retry_attempt = ISNULL(fj.current_retry_attempt, 0)",
      "has_step = (SELECT COUNT(*) FROM msdb.dbo.sysjobsteps sjst WHERE (sjst.job_id = sjv.job_id)),",
      "has_schedule = (SELECT COUNT(*) FROM msdb.dbo.sysjobschedules",
      "has_target = (SELECT COUNT(*) FROM msdb.dbo.sysjobservers",
      "[type] = fj.[type] ",
      "INTO #JobInfo ",
      "FROM #filtered_jobs fj",
      "LEFT OUTER JOIN msdb.dbo.sysjobs_view sjv ON (fj.job_id = sjv.job_id)",
      "LEFT OUTER JOIN msdb.dbo.sysoperators so1 ON (sjv.notify_email_operator_id = so1.id)",
      "LEFT OUTER JOIN msdb.dbo.sysoperators so2 ON (sjv.notify_netsend_operator_id = so2.id)",
      "LEFT OUTER JOIN msdb.dbo.sysoperators so3 ON (sjv.notify_page_operator_id = so3.id)",
      "LEFT OUTER JOIN msdb.dbo.syscategories sc ON (sjv.category_id = sc.category_id)",
      "ORDER BY sjv.job_id",
      "DROP TABLE #job_execution_state",
      "DROP TABLE #filtered_jobs",
      "DROP TABLE #xp_results",
  });
}
// clang-format on

TEST(JobInfoScript, KeepsJobInfoForTheConnection) {
  const std::string script(resources::SqlJobInfo());
  EXPECT_EQ(Count(script, "INTO #JobInfo"), 1u);
  EXPECT_EQ(Count(script, "FROM #JobInfo"), 1u);
  EXPECT_EQ(Count(script, "DROP TABLE"), 3u);
  EXPECT_EQ(Count(script, "DROP TABLE #JobInfo"), 0u);
}

TEST(JobInfoScript, FinalSelectReturnsTheThirtyOneColumnsByCategoryAndName) {
  const Lines lines = ScriptLines(resources::SqlJobInfo());
  auto start = std::find(lines.begin(), lines.end(), "SELECT [name],");
  ASSERT_NE(start, lines.end());
  Lines select;
  for (auto it = start + 1; it != lines.end(); ++it) select.push_back(Unindented(*it));

  Lines expected{
      "description,",
      "enabled,",
      "originating_server,",
      "start_step_id,",
      "category,",
      "owner,",
      "notify_level_eventlog,",
      "notify_level_email,",
      "notify_level_netsend,",
      "notify_level_page,",
      "notify_email_operator,",
      "notify_netsend_operator,",
      "notify_page_operator,",
      "delete_level,",
      "convert(varchar(10), date_created, 103) + ' ' + convert(varchar(10), date_created, 108) as "
      "date_created,",
      "convert(varchar(10), date_modified, 103) + ' ' + convert(varchar(10), date_modified, 108) "
      "as date_modified,",
      "version_number,",
  };
  auto add = [&](const Lines& more) { expected.insert(expected.end(), more.begin(), more.end()); };
  add(ExpectedDateLines("last_run_date", "'last run date',"));
  add(ExpectedTimeLines("last_run_time", "'last run time',"));
  add({"last_run_outcome,"});
  add(ExpectedDateLines("next_run_date", "'next run date',"));
  add(ExpectedTimeLines("next_run_time", "'next run time',"));
  add({"next_run_schedule_id,", "current_execution_status,", "current_execution_step,",
       "current_retry_attempt,", "has_step,", "has_schedule,", "has_target,", "[type]",
       "FROM #JobInfo", "ORDER BY category, [name]"});
  EXPECT_EQ(select, expected);

  // 1 + the lines above that end a column: 31 columns.
  const auto ends = std::count_if(select.begin(), select.end(), [](const std::string& l) {
    return l.back() == ',' || l == "[type]";
  });
  EXPECT_EQ(1 + ends, 31);
}

}  // namespace
}  // namespace quorvane::testing
