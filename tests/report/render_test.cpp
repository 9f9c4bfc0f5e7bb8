#include <gtest/gtest.h>

#include "report/query_runner.h"
#include "support/recording_host.h"
#include "support/scripted_connection.h"

namespace quorvane::report {
namespace {

using data::Field;
using data::FieldKind;
using data::Value;
using testing::NoRows;
using testing::RecordingHost;
using testing::Rows;
using testing::ScriptedConnection;
using testing::ScriptedError;
using testing::TextRows;

std::string Table(const std::string& header, const std::vector<std::string>& cells) {
  std::string html =
      "<table class=\"SQLtable\" border=\"1\">\n<tr>\n<th>" + header + "</th>\n</tr>\n";
  for (const auto& c : cells) html += "<tr>\n<td>" + c + "</td>\n</tr>\n";
  return html + "</table>\n";
}

class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override { conn.Open(); }
  std::string Render(const testing::Script& script, int interval) {
    conn.On("exec x", script);
    q.RunQuery("exec x");
    return q.RenderResultSets(q.ADOQuery1, q.ADODataSet1, interval);
  }
  ScriptedConnection conn;
  ReportBuffer buffer;
  RecordingHost host;
  QueryRunner q{conn, buffer, host};
};

TEST_F(RenderTest, OneTableWithCaptionsAndEscapedCells) {
  std::string html = Render({TextRows({"run_value", "name"}, {{"1", "x"}})}, 0);
  EXPECT_EQ(html,
            "<table class=\"SQLtable\" border=\"1\">\n<tr>\n<th>Run Value</th>\n<th>Name</th>\n"
            "</tr>\n<tr>\n<td>1</td>\n<td>x</td>\n</tr>\n</table>\n");
  html = Render({TextRows({"v"}, {{"a<b & \"c\""}})}, 0);
  EXPECT_NE(html.find("<td>a&lt;b &amp; &quot;c&quot;</td>"), std::string::npos);
}

TEST_F(RenderTest, CaptionsAreEscapedButForTheLineBreakOfOurAliases) {
  std::string html = Render({TextRows({"run duration<br>(H:M:S)"}, {{"1:00:00"}})}, 0);
  EXPECT_NE(html.find("<th>Run Duration<Br>(H:M:S)</th>"), std::string::npos);
  html = Render({TextRows({"<img src=x onerror=alert(1)>", std::string("a\0b", 3)},
                          {{"1", std::string("\x01\x7F", 2)}})},
                0);
  EXPECT_NE(html.find("<th>&lt;Img Src=X Onerror=Alert(1)&gt;</th>"), std::string::npos);
  EXPECT_NE(html.find("<th>A&#x2400;b</th>"), std::string::npos);
  EXPECT_NE(html.find("<td>&#x2401;&#x2421;</td>"), std::string::npos);
  EXPECT_EQ(html.find("<img"), std::string::npos);
}

TEST_F(RenderTest, NullGivesAnEmptyCellAndEmptyCaptionAnEmptyHeader) {
  data::RowSet set = Rows({{"a", FieldKind::ftInteger}}, {{Value::Null()}});
  std::string html = Render({set}, 0);
  EXPECT_NE(html.find("<td></td>"), std::string::npos);
}

TEST_F(RenderTest, SeparatorsByInterval) {
  auto one = [](const std::string& v) { return TextRows({"c"}, {{v}}); };
  EXPECT_EQ(Render({one("1"), one("2"), one("3")}, 0),
            Table("C", {"1"}) + "<br>\n" + Table("C", {"2"}) + "<br>\n" + Table("C", {"3"}));
  EXPECT_EQ(Render({one("1"), one("2"), one("3")}, -1),
            Table("C", {"1"}) + Table("C", {"2"}) + Table("C", {"3"}));
  // A positive value: a rule before each group, a group starting with a result shaped like the
  // first; the groups here have two and three results.
  auto other = [](const std::string& v) { return TextRows({"d"}, {{v}}); };
  std::string groups = Render({one("1"), other("2"), one("3"), other("4"), other("5")}, 1);
  EXPECT_EQ(groups, Table("C", {"1"}) + Table("D", {"2"}) + "<hr>\n" + Table("C", {"3"}) +
                        Table("D", {"4"}) + Table("D", {"5"}));
}

TEST_F(RenderTest, FirstResultWithoutRowsDoesNotHideLaterResults) {
  std::string html = Render({NoRows({"c"}), TextRows({"c"}, {{"later"}})}, 0);
  EXPECT_EQ(html, Table("C", {"later"}));
}

TEST_F(RenderTest, EmptyResultInTheMiddleIsSkipped) {
  std::string html = Render({TextRows({"c"}, {{"1"}}), NoRows({"c"}), TextRows({"c"}, {{"3"}})}, 0);
  EXPECT_EQ(html, Table("C", {"1"}) + "<br>\n" + Table("C", {"3"}));
}

TEST_F(RenderTest, HrStillFallsBetweenGroupsWhenAResultWasEmpty) {
  auto one = [](const std::string& v) { return TextRows({"c"}, {{v}}); };
  auto other = [](const std::string& v) { return TextRows({"d"}, {{v}}); };
  // The second group's first result is empty: the rule stands before its next table.
  std::string html = Render({one("1"), other("2"), NoRows({"c"}), other("4"), other("5")}, 1);
  EXPECT_EQ(html, Table("C", {"1"}) + Table("D", {"2"}) + "<hr>\n" + Table("D", {"4"}) +
                      Table("D", {"5"}));
}

TEST_F(RenderTest, NoRowsAnywhereGivesNone) {
  EXPECT_EQ(Render({NoRows({"c"})}, 0), "None.\n");
  EXPECT_EQ(Render({NoRows({"c"}), NoRows({"d"})}, 0), "None.\n");
  EXPECT_EQ(Render({}, 0), "None.\n");  // no result set at all
  EXPECT_EQ(q.ReportExceptionCount, 0);
}

TEST_F(RenderTest, VarbinaryIsLeftOutOfTablesAndAloneGivesNone) {
  data::RowSet sid =
      Rows({{"sid", FieldKind::ftVarBytes}}, {{Value::Text("0x01")}, {Value::Text("0x02")}});
  EXPECT_EQ(Render({sid}, 0), "None.\n");
  data::RowSet mixed = Rows({{"name", FieldKind::ftString}, {"sid", FieldKind::ftVarBytes}},
                            {{Value::Text("sa"), Value::Text("0x01")}});
  std::string html = Render({mixed}, 0);
  EXPECT_NE(html.find("<th>Name</th>"), std::string::npos);
  EXPECT_EQ(html.find("Sid"), std::string::npos);
  EXPECT_EQ(html.find("0x01"), std::string::npos);
}

TEST_F(RenderTest, WideCharacterKindsAreRendered) {
  for (FieldKind kind : {FieldKind::ftFixedWideChar, FieldKind::ftWideMemo, FieldKind::ftWideString,
                         FieldKind::ftGuid, FieldKind::ftFMTBcd, FieldKind::ftBlob}) {
    data::RowSet set = Rows({{"filename", kind}}, {{Value::Text("C:\\data\\master.mdf")}});
    EXPECT_EQ(Render({set}, 0), Table("Filename", {"C:\\data\\master.mdf"}))
        << data::FieldKindName(kind);
  }
}

TEST_F(RenderTest, ErrorAfterTheFirstResultBecomesAnErrorBlockInPlace) {
  std::string html = Render({TextRows({"c"}, {{"db1"}}),
                             ScriptedError{"Database 'x' cannot be opened because it is offline."},
                             TextRows({"c"}, {{"db3"}})},
                            0);
  EXPECT_EQ(html, Table("C", {"db1"}) +
                      "<div class=\"ExceptionError\"><u>Exception Error:</u><br>Database 'x' "
                      "cannot be opened because it is offline.</div>\n<br>\n" +
                      Table("C", {"db3"}));
  EXPECT_EQ(q.ReportExceptionCount, 1);
}

TEST_F(RenderTest, ErrorsWithoutAnyCellGiveTheBlocksThenNone) {
  std::string html = Render(
      {NoRows({"c"}), ScriptedError{"first <bad>"}, data::RowCount{1}, ScriptedError{"second"}}, 0);
  EXPECT_EQ(html,
            "<div class=\"ExceptionError\"><u>Exception Error:</u><br>first &lt;bad&gt;</div>\n"
            "<div class=\"ExceptionError\"><u>Exception Error:</u><br>second</div>\n"
            "None.\n");
  EXPECT_EQ(q.ReportExceptionCount, 2);
}

TEST_F(RenderTest, RowCountsBetweenRowSetsAreSkipped) {
  std::string html =
      Render({TextRows({"c"}, {{"1"}}), data::RowCount{4}, TextRows({"c"}, {{"2"}})}, 0);
  EXPECT_EQ(html, Table("C", {"1"}) + "<br>\n" + Table("C", {"2"}));
}

TEST_F(RenderTest, HelpfileGroupsOfThreeWithAnOfflineDatabaseBetween) {
  auto db = [](const std::string& name) {
    return testing::Script{TextRows({"name"}, {{name + "_file"}}),
                           TextRows({"database_name"}, {{name}}),
                           TextRows({"reserved"}, {{name + "_kb"}})};
  };
  testing::Script script = db("master");
  script.push_back(ScriptedError{"Database 'old' cannot be opened because it is offline.", 942});
  const testing::Script model = db("model");
  script.insert(script.end(), model.begin(), model.end());
  std::string html = Render(script, 3);
  const auto error = html.find("ExceptionError");
  const auto hr = html.find("<hr>");
  ASSERT_NE(error, std::string::npos);
  ASSERT_NE(hr, std::string::npos);
  EXPECT_LT(html.find("master_kb"), error);
  EXPECT_LT(error, hr);
  EXPECT_LT(hr, html.find("model_file"));
  EXPECT_EQ(html.find("<hr>", hr + 1), std::string::npos);
}

TEST_F(RenderTest, RowsThatStopEarlyCloseTheirTableThenSayWhy) {
  const std::string html = Render({testing::RowsThenError(TextRows({"c"}, {{"1"}, {"2"}}),
                                                          ScriptedError{"Read failed", 0, "HY000"}),
                                   TextRows({"c"}, {{"3"}})},
                                  0);
  EXPECT_EQ(html, Table("C", {"1", "2"}) +
                      "<div class=\"ExceptionError\"><u>Exception Error:</u><br>Read failed</div>\n"
                      "<br>\n" +
                      Table("C", {"3"}));
  EXPECT_EQ(q.ReportExceptionCount, 1);
}

// A table section goes into the buffer as one entry, written in parts: the file sees every byte
// in order, the debug window the whole entry, and nothing may slip in between the parts.
TEST(ReportBufferParts, AStreamedEntryIsOneEntryToEveryReader) {
  struct Bytes : ReportBuffer::Sink {
    void Cleared() override {}
    void Write(std::string_view text) override { bytes += text; }
    std::string bytes;
  } sink;
  struct Entries : ReportBuffer::Observer {
    void Cleared() override {}
    void Appended(std::string_view entry) override { entries.emplace_back(entry); }
    std::vector<std::string> entries;
  } observer;
  ReportBuffer buffer;
  buffer.SetSink(&sink);
  buffer.SetObserver(&observer);
  buffer.Append("<h2>A</h2>");
  buffer.AppendPart("<table>");
  buffer.AppendPart("</table>\n");
  EXPECT_THROW(buffer.Append("<p>"), std::logic_error);
  buffer.EndEntry();
  buffer.EndEntry();  // ends nothing more
  EXPECT_EQ(sink.bytes, "<h2>A</h2>\r\n<table></table>\n\r\n");
  EXPECT_EQ(observer.entries, (std::vector<std::string>{"<h2>A</h2>", "<table></table>\n"}));
  EXPECT_EQ(buffer.Text(), sink.bytes);
}

}  // namespace
}  // namespace quorvane::report
