#include <gtest/gtest.h>

#include "data/database_error.h"
#include "report/query_runner.h"
#include "report/run_stopped.h"
#include "support/recording_host.h"
#include "support/scripted_connection.h"

namespace quorvane::report {
namespace {

using data::FieldKind;
using data::Value;
using testing::NoRows;
using testing::RecordingHost;
using testing::Rows;
using testing::Scalar;
using testing::ScriptedConnection;
using testing::ScriptedError;
using testing::TextRows;

const std::string kErrorStart = "<div class=\"ExceptionError\"><u>Exception Error:</u><br>";

class QueryRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override { conn.Open(); }
  ScriptedConnection conn;
  ReportBuffer buffer;
  RecordingHost host;
  QueryRunner q{conn, buffer, host};
};

TEST_F(QueryRunnerTest, AppendsProcessEventsFirst) {
  q.AppendHtml("<b>x</b>");
  q.AppendHtmlComment("note");
  EXPECT_EQ(buffer.Entries(), (std::vector<std::string>{"<b>x</b>", "<!-- note -->"}));
  EXPECT_EQ(host.processEventsCalls, 2);
}

TEST_F(QueryRunnerTest, BufferTextEndsEveryEntryWithCrLfAndKeepsBareLf) {
  q.AppendHtml("a\nb");
  q.AppendHtml("c");
  EXPECT_EQ(buffer.Text(), "a\nb\r\nc\r\n");
  ReportBuffer loaded;
  loaded.Load("x\r\ny\r\n");
  EXPECT_EQ(loaded.Entries(), (std::vector<std::string>{"x", "y"}));
}

TEST_F(QueryRunnerTest, RunQuerySendsLinesJoinedByCrLf) {
  conn.SetDefault({Scalar("1")});
  q.RunQuery(std::vector<std::string>{"select 1", "from t "});
  ASSERT_EQ(conn.Batches().size(), 1u);
  EXPECT_EQ(conn.Batches()[0], "select 1\r\nfrom t ");
}

TEST_F(QueryRunnerTest, FailedQueryLeavesOneCountedErrorBlockWithTheEscapedMessage) {
  conn.On("exec p", {ScriptedError{"Permission denied on object '<x>' \"y\"", 229}});
  q.RunQuery("exec p");
  EXPECT_EQ(q.ADOQuery1.FieldCount(), 0);
  EXPECT_FALSE(q.ADOQuery1.IsOpen());
  ASSERT_EQ(buffer.Size(), 1u);
  EXPECT_EQ(buffer.Entries()[0],
            kErrorStart + "Permission denied on object '&lt;x&gt;' &quot;y&quot;</div>");
  EXPECT_EQ(q.ReportExceptionCount, 1);
}

TEST_F(QueryRunnerTest, FailingTableSectionLeavesErrorBlockThenNone) {
  conn.On("exec p", {ScriptedError{"nope"}});
  q.RunQuery("exec p");
  q.AppendHtml(q.RenderResultSets(q.ADOQuery1, q.ADODataSet1, 0));
  EXPECT_EQ(buffer.Entries(), (std::vector<std::string>{kErrorStart + "nope</div>", "None.\n"}));
}

TEST_F(QueryRunnerTest, NoResultSetIsNeitherShownNorCounted) {
  conn.On("set nocount on", {});
  q.RunQuery("set nocount on");
  EXPECT_EQ(buffer.Size(), 0u);
  EXPECT_EQ(q.ReportExceptionCount, 0);
  EXPECT_EQ(q.RenderResultSets(q.ADOQuery1, q.ADODataSet1, 0), "None.\n");
}

TEST_F(QueryRunnerTest, NoResultSetExemptionIsCaseSensitive) {
  q.HandleADOQueryError(data::DatabaseError("x: CommandText does not return a result set."));
  EXPECT_EQ(buffer.Size(), 0u);
  q.HandleADOQueryError(data::DatabaseError("commandtext does not return a result set"));
  ASSERT_EQ(buffer.Size(), 1u);
  EXPECT_EQ(q.ReportExceptionCount, 1);
}

TEST_F(QueryRunnerTest, OpenSkipsLeadingRowCounts) {
  conn.On("b", {data::RowCount{3}, data::RowCount{1}, TextRows({"n"}, {{"v"}})});
  q.RunQuery("b");
  ASSERT_EQ(q.ADOQuery1.FieldCount(), 1);
  EXPECT_EQ(q.ADOQuery1.DisplayText(0), "v");
}

TEST_F(QueryRunnerTest, ErrorAfterLeadingRowCountIsReportedNotHidden) {
  conn.On("b", {data::RowCount{3}, ScriptedError{"Invalid object name 'x'.", 208}});
  q.RunQuery("b");
  ASSERT_EQ(buffer.Size(), 1u);
  EXPECT_EQ(buffer.Entries()[0], kErrorStart + "Invalid object name 'x'.</div>");
}

TEST_F(QueryRunnerTest, RowSetAfterAFailedLeadingStatementIsStillShown) {
  // The job script: row counts of its inserts, one insert failing, then the final select.
  conn.On("b", {data::RowCount{3}, ScriptedError{"EXECUTE permission denied", 229},
                data::RowCount{1}, TextRows({"name"}, {{"nightly"}})});
  q.RunQuery("b");
  q.AppendHtml(q.RenderResultSets(q.ADOQuery1, q.ADODataSet1, 0));
  ASSERT_EQ(buffer.Size(), 2u);
  EXPECT_EQ(buffer.Entries()[0], kErrorStart + "EXECUTE permission denied</div>");
  EXPECT_NE(buffer.Entries()[1].find("<td>nightly</td>"), std::string::npos);
  EXPECT_EQ(q.ReportExceptionCount, 1);
}

TEST_F(QueryRunnerTest, EveryErrorIsReportedWhenNoRowSetFollows) {
  conn.On("b", {data::RowCount{3}, ScriptedError{"first"}, ScriptedError{"second"}});
  q.RunQuery("b");
  EXPECT_EQ(buffer.Entries(),
            (std::vector<std::string>{kErrorStart + "first</div>", kErrorStart + "second</div>"}));
  EXPECT_FALSE(q.ADOQuery1.IsOpen());
  EXPECT_EQ(q.ReportExceptionCount, 2);
}

TEST_F(QueryRunnerTest, GetSqlReturnsFirstColumnOfFirstRowAsText) {
  conn.On("select a", {TextRows({"a", "b"}, {{"first", "x"}, {"second", "y"}})});
  EXPECT_EQ(q.GetSQL("select a"), "first");
  conn.On("select null", {Rows({{"", FieldKind::ftString}}, {{Value::Null()}})});
  EXPECT_EQ(q.GetSQL("select null"), "");
  conn.On("select none", {NoRows({"a"})});
  EXPECT_EQ(q.GetSQL("select none"), "");
  conn.On("select bad", {ScriptedError{"bad"}});
  EXPECT_EQ(q.GetSQL("select bad"), "");
  EXPECT_EQ(q.ReportExceptionCount, 1);
  EXPECT_EQ(buffer.Size(), 1u);  // debug mode off: only the error block
}

TEST_F(QueryRunnerTest, GetSqlInDebugModeWrapsTheQueryInComments) {
  QueryRunner debug{conn, buffer, host, /*debugMode=*/true};
  conn.On("Select SERVERPROPERTY('ServerName')", {Scalar("SRV")});
  conn.On("bad", {ScriptedError{"oops"}});
  EXPECT_EQ(debug.GetSQL("Select SERVERPROPERTY('ServerName')"), "SRV");
  EXPECT_EQ(debug.GetSQL("bad"), "");
  EXPECT_EQ(buffer.Entries(),
            (std::vector<std::string>{
                "<!-- FUNCTION GetSQL : INPUT = Select SERVERPROPERTY('ServerName') -->",
                "<!-- FUNCTION GetSQL : OUTPUT FieldCount = 1 -->",
                "<!-- FUNCTION GetSQL : INPUT = bad -->", kErrorStart + "oops</div>",
                "<!-- FUNCTION GetSQL : OUTPUT FieldCount = 0 -->"}));
}

TEST_F(QueryRunnerTest, TaggedTextRendersEveryKindEscapedWithNullAsEmptyLine) {
  conn.On("exec xp_cmdshell",
          {Rows({{"output", FieldKind::ftString}, {"sid", FieldKind::ftVarBytes}},
                {{Value::Text("a <b>"), Value::Text("0x01")}, {Value::Null(), Value::Null()}})});
  q.RunQuery("exec xp_cmdshell");
  EXPECT_EQ(q.RenderAsTaggedText(q.ADOQuery1, "pre"), "<pre>a &lt;b&gt;\n0x01\n\n\n\n</pre>\n");
}

TEST_F(QueryRunnerTest, TaggedTextOfAFailedQueryIsAnEmptyElement) {
  conn.On("exec xp_cmdshell", {ScriptedError{"blocked"}});
  q.RunQuery("exec xp_cmdshell");
  EXPECT_EQ(q.RenderAsTaggedText(q.ADOQuery1, "pre"), "<pre>\n</pre>\n");
  EXPECT_EQ(q.RenderAsTaggedText(q.ADOQuery1, ""), "\n\n");
}

TEST_F(QueryRunnerTest, TaggedTextTwoRows) {
  conn.On("t", {TextRows({"o"}, {{"a"}, {"b"}})});
  q.RunQuery("t");
  EXPECT_EQ(q.RenderAsTaggedText(q.ADOQuery1, "pre"), "<pre>a\nb\n\n</pre>\n");
}

TEST(ColumnNames, UnnamedAndRepeatedColumnsGetUniqueNames) {
  std::vector<data::Field> fields = {
      {"", FieldKind::ftString}, {"name", FieldKind::ftString},   {"Name", FieldKind::ftString},
      {"", FieldKind::ftString}, {"name_1", FieldKind::ftString}, {"name", FieldKind::ftString}};
  data::MakeColumnNamesUnique(fields);
  std::vector<std::string> names;
  for (auto& f : fields) names.push_back(f.name);
  EXPECT_EQ(names, (std::vector<std::string>{"COLUMN1", "name", "Name_1", "COLUMN4", "name_1_1",
                                             "name_2"}));
}

TEST(DataSetAttach, RefusesAResultThatIsNotARowSet) {
  data::DataSet set;
  try {
    set.Attach(data::Result{data::RowCount{2}});
    FAIL() << "expected an error";
  } catch (const data::DatabaseError& e) {
    EXPECT_STREQ(e.what(), "Recordset is not open");
  }
  set.Attach(std::nullopt);
  EXPECT_FALSE(set.IsOpen());
  EXPECT_FALSE(set.HasRows());
  EXPECT_TRUE(set.AtEnd());
}

TEST(QueryValues, IntegersAndDatesReadBackTyped) {
  ScriptedConnection conn;
  conn.Open();
  data::DateTime dt{2024, 2, 29, 13, 5, 7, 250};
  conn.On("v", {Rows({{"n", FieldKind::ftInteger},
                      {"d", FieldKind::ftDateTime},
                      {"t", FieldKind::ftString},
                      {"big", FieldKind::ftLargeint}},
                     {{Value::Integer(-42), Value::Date(dt), Value::Text("x"),
                       Value::Integer(5000000000)}})});
  data::Query query(conn);
  query.AddLine("v");
  query.Open();
  EXPECT_EQ(query.AsInteger(0), -42);
  EXPECT_EQ(query.AsDateTime(1), dt);
  EXPECT_EQ(query.DisplayText(1), "2024-02-29 13:05:07.250");
  EXPECT_THROW(query.AsInteger(2), data::DatabaseError);
  EXPECT_THROW(query.AsInteger(3), data::DatabaseError);  // out of the 32-bit range
  EXPECT_THROW(query.AsDateTime(2), data::DatabaseError);
}

TEST(QueryOpen, WithoutRowSetFailsWithTheNoResultSetMessage) {
  ScriptedConnection conn;
  conn.Open();
  conn.On("exec x", {data::RowCount{1}});
  data::Query query(conn);
  query.AddLine("exec x");
  try {
    query.Open();
    FAIL() << "expected an error";
  } catch (const data::DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("CommandText does not return a result set"),
              std::string::npos);
  }
  EXPECT_FALSE(query.IsOpen());
}

// The first lost link of a run is re-established and said once; a second one, or a stop asked
// for from another thread, ends the run instead of leaving a block per query.
TEST_F(QueryRunnerTest, ALostLinkIsReestablishedOnceThenEndsTheRun) {
  conn.SetDefault({ScriptedError{"Communication link failure", 0, "08S01"}});
  q.SetSection("Databases");
  q.RunQuery("exec a");
  EXPECT_EQ(conn.OpenCount(), 2);
  EXPECT_EQ(q.ReportExceptionCount, 1);
  ASSERT_EQ(buffer.Size(), 1u);
  EXPECT_NE(buffer.Entries()[0].find("lost during the section &quot;Databases&quot; (Communication link "
                                     "failure). The connection was re-established"),
            std::string::npos);
  EXPECT_THROW(q.RunQuery("exec b"), RunStopped);
  q.StartRun();
  conn.SetDefault({Scalar("1")});
  q.RequestStop("interrupted");
  try {
    q.RunQuery("exec c");
    FAIL() << "the stop was not honoured";
  } catch (const RunStopped& stop) {
    EXPECT_STREQ(stop.what(), "interrupted during the section \"the report's title\"");
  }
}

}  // namespace
}  // namespace quorvane::report
