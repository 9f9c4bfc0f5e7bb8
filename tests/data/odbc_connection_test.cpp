// The ODBC layer end to end: unixODBC and the FreeTDS driver talking TDS to the simulated
// SQL Server over loopback.
#include <gtest/gtest.h>

#include <sqlserver_sim/server.h>
#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "data/database_error.h"
#include "data/odbc/odbc_connection.h"
#include "data/query.h"

namespace quorvane::data {
namespace {

using json = nlohmann::json;
using K = FieldKind;

json Column(const std::string& name, const std::string& type) {
  return json{{"name", name}, {"type", type}};
}

json Rows(json columns, json data) {
  return json{{"rows", json{{"columns", std::move(columns)}, {"data", std::move(data)}}}};
}

json Count(std::int64_t n) {
  return json{{"count", n}};
}

json Error(int number, const std::string& text, int cls = 16) {
  return json{{"error", json{{"number", number}, {"class", cls}, {"state", 1}, {"text", text}}}};
}

json Info(int number, const std::string& text) {
  return json{{"info", json{{"number", number}, {"class", 0}, {"state", 1}, {"text", text}}}};
}

json Batch(const std::string& sql, json results) {
  return json{{"sql", sql}, {"results", std::move(results)}};
}

class OdbcEndToEnd : public ::testing::Test {
 protected:
  // Starts a simulated server that knows `batches`.
  void Serve(json batches, json faults = json::object()) {
    json scenario = {{"server", {{"name", "QUORVANE-TEST"}, {"version", "15.0.2000.5"}}},
                     {"logins", json::array({{{"name", "sa"}, {"password", "secret"}}})},
                     {"batches", std::move(batches)}};
    if (!faults.empty()) scenario["faults"] = std::move(faults);
    server_ = std::make_unique<sqlsim::Server>(scenario.dump());
    server_->Start("127.0.0.1", 0);
  }

  std::string ConnectionString(const std::string& password = "secret",
                               const std::string& extra = "ClientCharset=UTF-8;") const {
    return "Driver=FreeTDS;Server=127.0.0.1;Port=" + std::to_string(server_->Port()) +
           ";TDS_Version=7.4;UID=sa;PWD=" + password + ";Database=master;" + extra +
           "Encryption=off";
  }

  std::unique_ptr<OdbcConnection> Connect(const std::string& extra = "ClientCharset=UTF-8;") {
    auto connection = std::make_unique<OdbcConnection>();
    connection->SetConnectionString(ConnectionString("secret", extra));
    connection->SetConnectionTimeout(10);
    connection->Open();
    EXPECT_TRUE(connection->Connected());
    return connection;
  }

  std::unique_ptr<sqlsim::Server> server_;
};

RowSetPtr AsRowSet(const std::optional<Result>& result) {
  if (!result) {
    ADD_FAILURE() << "expected a row set, the stream ended";
    return nullptr;
  }
  const auto* rows = std::get_if<RowSetPtr>(&*result);
  if (!rows || !*rows) {
    ADD_FAILURE() << "expected a row set, got a row count";
    return nullptr;
  }
  return *rows;
}

// The rows of a row set from its position on; a fetched row set is read once.
std::vector<std::vector<Value>> ReadAll(RowSet& rows) {
  std::vector<std::vector<Value>> all;
  for (; !rows.AtEnd(); rows.Advance()) all.push_back(rows.Row());
  if (auto error = rows.TakeError()) throw *error;
  return all;
}

std::int64_t AsRowCount(const std::optional<Result>& result) {
  if (!result || !std::holds_alternative<RowCount>(*result)) {
    ADD_FAILURE() << "expected a row count";
    return -99;
  }
  return std::get<RowCount>(*result).rows;
}

// ---- values -----------------------------------------------------------------------------------

struct TypeCase {
  std::string type;
  K kind;
  json value;
  std::string text;  // expected display text of `value`
};

TEST_F(OdbcEndToEnd, EveryTypeRoundTripsWithNulls) {
  const std::vector<TypeCase> cases = {
      {"int", K::ftInteger, -2147483648LL, "-2147483648"},
      {"bigint", K::ftLargeint, 9223372036854775807LL, "9223372036854775807"},
      {"smallint", K::ftSmallint, -32768, "-32768"},
      {"tinyint", K::ftWord, 255, "255"},
      {"bit", K::ftBoolean, true, "1"},
      {"float", K::ftFloat, 0.1, "0.1"},
      {"float", K::ftFloat, -1.5e300, "-1.5e+300"},
      {"real", K::ftFloat, 3.14, "3.14"},
      {"decimal(10,2)", K::ftFMTBcd, "12345678.90", "12345678.90"},
      {"decimal(5,3)", K::ftFMTBcd, "-0.500", "-0.500"},
      {"decimal(5,3)", K::ftFMTBcd, "0.5", "0.500"},
      {"numeric(5,0)", K::ftFMTBcd, 0, "0"},
      {"numeric(38,0)", K::ftFMTBcd, "99999999999999999999999999999999999999",
       "99999999999999999999999999999999999999"},
      {"numeric(38,0)", K::ftFMTBcd, "-12345678901234567890123456789012345678",
       "-12345678901234567890123456789012345678"},
      {"numeric(38,10)", K::ftFMTBcd, "1234567890123456789012345678.0123456789",
       "1234567890123456789012345678.0123456789"},
      {"money", K::ftFMTBcd, "922337203685477.5807", "922337203685477.5807"},
      {"datetime", K::ftDateTime, "1753-01-01 00:00:00", "1753-01-01 00:00:00"},
      {"datetime", K::ftDateTime, "2023-04-05 06:07:08.123", "2023-04-05 06:07:08.123"},
      {"datetime2(7)", K::ftDateTime, "0001-01-01 00:00:00", "0001-01-01 00:00:00"},
      {"datetime2(7)", K::ftDateTime, "9999-12-31 23:59:59.9999999", "9999-12-31 23:59:59.999"},
      {"date", K::ftDateTime, "1899-12-29", "1899-12-29 00:00:00"},
      {"uniqueidentifier", K::ftGuid, "6f9619ff-8b86-d011-b42d-00c04fc964ff",
       "6F9619FF-8B86-D011-B42D-00C04FC964FF"},
      {"char(6)", K::ftFixedChar, "abc", "abc   "},
      {"varchar(50)", K::ftString, "Grüße", "Grüße"},
      {"text", K::ftMemo, "a memo", "a memo"},
      {"nchar(4)", K::ftFixedWideChar, "漢字", "漢字  "},
      {"nvarchar(128)", K::ftWideString, "日本語テキスト \xF0\x9F\x98\x80",
       "日本語テキスト \xF0\x9F\x98\x80"},
      {"nvarchar(max)", K::ftWideMemo, "中文 ещё", "中文 ещё"},
      {"ntext", K::ftWideMemo, "한국어", "한국어"},
      {"binary(4)", K::ftBytes, "0x0102", "0x01020000"},
      {"varbinary(16)", K::ftVarBytes, "0xdeadBEEF", "0xDEADBEEF"},
      {"image", K::ftBlob, "0x00FF", "0x00FF"},
      // Shown in tables like image; only varbinary(n) is the kind tables leave out.
      {"varbinary(max)", K::ftBlob, "0x0A0B", "0x0A0B"},
      {"varchar(max)", K::ftString, "long text", "long text"},
      {"smallint", K::ftSmallint, 32767, "32767"},
      {"smalldatetime", K::ftDateTime, "1900-01-01 00:01:00", "1900-01-01 00:01:00"},
      {"smallmoney", K::ftFMTBcd, "-214748.3648", "-214748.3648"},
      {"time(7)", K::ftDateTime, "23:59:59.9999999", "23:59:59.999"},
      {"sql_variant", K::ftVariant, 42, "42"},
      {"sql_variant", K::ftVariant, "text in a variant", "text in a variant"},
  };
  json columns = json::array();
  json values = json::array();
  json nulls = json::array();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    columns.push_back(Column("c" + std::to_string(i), cases[i].type));
    values.push_back(cases[i].value);
    nulls.push_back(nullptr);
  }
  Serve(json::array({Batch("select types", json::array({Rows(columns, {values, nulls})}))}));
  auto connection = Connect();

  auto stream = connection->Execute("select types", 15);
  const RowSetPtr rows = AsRowSet(stream->Next());
  ASSERT_TRUE(rows);
  const auto all = ReadAll(*rows);
  EXPECT_FALSE(stream->Next().has_value());
  ASSERT_EQ(rows->fields.size(), cases.size());
  ASSERT_EQ(all.size(), 2u);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].type + " " + cases[i].value.dump());
    EXPECT_EQ(rows->fields[i].name, "c" + std::to_string(i));
    EXPECT_EQ(FieldKindName(rows->fields[i].kind), FieldKindName(cases[i].kind));
    const Value& value = all[0][i];
    EXPECT_FALSE(value.isNull);
    EXPECT_EQ(value.text, cases[i].text);
    const Value& null = all[1][i];
    EXPECT_TRUE(null.isNull);
    EXPECT_EQ(null.text, "");
  }
}

TEST_F(OdbcEndToEnd, NumbersAndDatesReadBackNatively) {
  Serve(json::array(
      {Batch("select natives",
             json::array({Rows(
                 json::array({Column("i", "int"), Column("d", "datetime"), Column("b", "bit"),
                              Column("f", "float"), Column("t", "time(7)"), Column("day", "date")}),
                 json::array({json::array({42, "1850-06-15 12:34:56.789", false, 2.5,
                                           "13:45:10.1234567", "0001-01-01"})}))}))}));
  auto connection = Connect();
  Query query(*connection);
  query.AddLine("select natives");
  query.Open();
  EXPECT_EQ(query.AsInteger(0), 42);
  // datetime keeps 1/300 s: .789 is stored as .790.
  EXPECT_EQ(query.AsDateTime(1), (DateTime{1850, 6, 15, 12, 34, 56, 790}));
  EXPECT_EQ(query.DisplayText(1), "1850-06-15 12:34:56.790");
  EXPECT_EQ(query.AsInteger(2), 0);
  EXPECT_EQ(query.DisplayText(2), "0");
  EXPECT_EQ(std::get<double>(query.Current()->Row()[3].native), 2.5);
  EXPECT_EQ(query.Kind(4), K::ftDateTime);
  EXPECT_EQ(query.DisplayText(4), "13:45:10.123");
  EXPECT_EQ(query.AsDateTime(4).hour, 13);
  EXPECT_EQ(query.AsDateTime(5), (DateTime{1, 1, 1, 0, 0, 0, 0}));
}

TEST_F(OdbcEndToEnd, MegabyteNvarcharMaxArrivesWhole) {
  // 1 MiB of UTF-16 code units: ASCII, CJK, a surrogate pair and Latin-1, so that a chunk
  // boundary of the driver falls inside multi-unit characters somewhere.
  struct Piece {
    const char* utf8;
    std::size_t units;
  };
  const Piece pieces[] = {{"abc", 3}, {"漢字", 2}, {"\xF0\x9F\x98\x80", 2}, {"ß", 1}, {"\n", 1}};
  std::string big;
  for (std::size_t i = 0, units = 0; units < 1'048'576; ++i) {
    big += pieces[i % 5].utf8;
    units += pieces[i % 5].units;
  }
  Serve(json::array(
      {Batch("select big",
             json::array({Rows(
                 json::array({Column("v", "nvarchar(max)"), Column("b", "varbinary(max)"),
                              Column("n", "int")}),
                 json::array({json::array({big, "0x" + std::string(200'000, 'A'), 7})}))}))}));
  auto connection = Connect();
  auto stream = connection->Execute("select big", 15);
  const RowSetPtr rows = AsRowSet(stream->Next());
  ASSERT_TRUE(rows);
  const auto all = ReadAll(*rows);
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0][0].text.size(), big.size());
  EXPECT_TRUE(all[0][0].text == big);
  EXPECT_EQ(all[0][1].text, "0x" + std::string(200'000, 'A'));
  EXPECT_EQ(all[0][2].text, "7");  // the column after the long ones is still in step
}

TEST_F(OdbcEndToEnd, WideTextSurvivesWithoutAClientCharset) {
  Serve(json::array({Batch(
      "select 名前 from 表",
      json::array({Rows(json::array({Column("名前", "nvarchar(40)"), Column("v", "varchar(10)")}),
                        json::array({json::array({"Ωμέγα 漢字", "café"})}))}))}));
  auto connection = Connect(/*extra=*/"");
  auto stream = connection->Execute("select 名前 from 表", 15);
  const RowSetPtr rows = AsRowSet(stream->Next());
  ASSERT_TRUE(rows);
  EXPECT_EQ(rows->fields[0].name, "名前");
  EXPECT_EQ(rows->Row()[0].text, "Ωμέγα 漢字");
  EXPECT_EQ(rows->Row()[1].text, "café");
  const auto batches = server_->Batches();
  ASSERT_FALSE(batches.empty());
  EXPECT_EQ(batches.back(), "select 名前 from 表");
}

TEST_F(OdbcEndToEnd, ManyRowsAllArrive) {
  json data = json::array();
  for (int i = 0; i < 5000; ++i) data.push_back(json::array({i, "row " + std::to_string(i)}));
  Serve(json::array({Batch(
      "select many",
      json::array({Rows(json::array({Column("i", "int"), Column("s", "nvarchar(20)")}), data)}))}));
  auto connection = Connect();
  auto stream = connection->Execute("select many", 15);
  const RowSetPtr rows = AsRowSet(stream->Next());
  ASSERT_TRUE(rows);
  const auto all = ReadAll(*rows);
  ASSERT_EQ(all.size(), 5000u);
  for (int i = 0; i < 5000; i += 499) {
    EXPECT_EQ(all[static_cast<std::size_t>(i)][0].text, std::to_string(i));
    EXPECT_EQ(all[static_cast<std::size_t>(i)][1].text, "row " + std::to_string(i));
  }
}

// ---- result walk ------------------------------------------------------------------------------

TEST_F(OdbcEndToEnd, LeadingRowCountsAreResultsTheQuerySkips) {
  const json rows = Rows(json::array({Column("name", "sysname")}), json::array({{"x"}}));
  Serve(json::array({Batch("set nocount off; select", json::array({Count(3), Count(5), rows}))}));
  auto connection = Connect();

  auto stream = connection->Execute("set nocount off; select", 15);
  EXPECT_EQ(AsRowCount(stream->Next()), 3);
  EXPECT_EQ(AsRowCount(stream->Next()), 5);
  EXPECT_TRUE(AsRowSet(stream->Next()));
  EXPECT_FALSE(stream->Next().has_value());
  EXPECT_FALSE(stream->Next().has_value());  // stays at the end

  Query query(*connection);
  query.AddLine("set nocount off; select");
  query.Open();
  ASSERT_EQ(query.FieldCount(), 1);
  EXPECT_EQ(query.DisplayText(0), "x");
  EXPECT_FALSE(query.NextResult().has_value());
}

TEST_F(OdbcEndToEnd, TwoRowSetsComeInOrder) {
  Serve(json::array({Batch(
      "exec sp_two",
      json::array({Rows(json::array({Column("a", "int")}), json::array({{1}, {2}})),
                   Rows(json::array({Column("b", "nvarchar(10)")}), json::array({{"z"}}))}))}));
  auto connection = Connect();
  Query query(*connection);
  query.AddLine("exec sp_two");
  query.Open();
  EXPECT_EQ(query.DisplayName(0), "a");
  EXPECT_EQ(ReadAll(*query.Current()).size(), 2u);
  const RowSetPtr second = AsRowSet(query.NextResult());
  ASSERT_TRUE(second);
  EXPECT_EQ(second->fields[0].name, "b");
  EXPECT_EQ(second->Row()[0].text, "z");
  EXPECT_FALSE(query.NextResult().has_value());
}

// The first statement of a batch fails: its error comes first, then what the rest of the batch
// returned (unixODBC alone would end the batch there; the rest is read from the driver).
TEST_F(OdbcEndToEnd, ErrorOfTheFirstStatementThenTheRestOfTheBatch) {
  Serve(json::array(
      {Batch("select * from missing",
             json::array({Error(208, "Invalid object name 'missing'."),
                          Rows(json::array({Column("a", "int")}), json::array({{1}})),
                          Error(50000, "third failed"),
                          Rows(json::array({Column("b", "nvarchar(10)")}), json::array({{"x"}}))})),
       Batch("only fails", json::array({Error(208, "Invalid object name 'gone'.")})),
       Batch("select 1",
             json::array({Rows(json::array({Column("", "int")}), json::array({{1}}))}))}));
  auto connection = Connect();

  auto stream = connection->Execute("select * from missing", 15);
  try {
    stream->Next();
    FAIL() << "no error";
  } catch (const DatabaseError& e) {
    EXPECT_STREQ(e.what(), "Invalid object name 'missing'.");
    EXPECT_EQ(e.number(), 208);
    EXPECT_EQ(e.state(), "42S02");
  }
  RowSetPtr rows = AsRowSet(stream->Next());
  ASSERT_TRUE(rows);
  EXPECT_EQ(rows->Row()[0].text, "1");
  EXPECT_THROW(stream->Next(), DatabaseError);
  rows = AsRowSet(stream->Next());
  ASSERT_TRUE(rows);
  EXPECT_EQ(rows->Row()[0].text, "x");
  EXPECT_FALSE(stream->Next().has_value());

  // The query shows the first row set and keeps the error for the report.
  Query query(*connection);
  query.AddLine("select * from missing");
  query.Open();
  EXPECT_EQ(query.DisplayText(0), "1");
  const auto skipped = query.TakeSkippedErrors();
  ASSERT_EQ(skipped.size(), 1u);
  EXPECT_STREQ(skipped[0].what(), "Invalid object name 'missing'.");
  query.Close();

  // A batch that only fails still fails its open, and the connection is still good.
  query.ClearText();
  query.AddLine("only fails");
  EXPECT_THROW(query.Open(), DatabaseError);
  EXPECT_TRUE(connection->Connected());
  query.Close();
  query.ClearText();
  query.AddLine("select 1");
  query.Open();
  EXPECT_EQ(query.DisplayText(0), "1");
}

// Both as plain statements and as a procedure call (DONEINPROC ... DONEPROC).
TEST_F(OdbcEndToEnd, ErrorAfterTheFirstRowSetComesWithTheNextResult) {
  const json results = json::array({Rows(json::array({Column("a", "int")}), json::array({{1}})),
                                    Error(50000, "Second statement failed"),
                                    Rows(json::array({Column("c", "int")}), json::array({{3}}))});
  Serve(json::array({Batch("exec sp_then_fail", results),
                     Batch("select a; raiserror('x', 16, 1); select c", results)}));
  auto connection = Connect();

  for (const char* sql : {"exec sp_then_fail", "select a; raiserror('x', 16, 1); select c"}) {
    SCOPED_TRACE(sql);
    auto stream = connection->Execute(sql, 15);
    ASSERT_TRUE(AsRowSet(stream->Next()));
    try {
      stream->Next();
      FAIL() << "no error";
    } catch (const DatabaseError& e) {
      EXPECT_STREQ(e.what(), "Second statement failed");
      EXPECT_EQ(e.number(), 50000);
    }
    // Asking again goes on after the failed statement.
    const RowSetPtr last = AsRowSet(stream->Next());
    ASSERT_TRUE(last);
    const auto all = ReadAll(*last);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0][0].text, "3");
    EXPECT_FALSE(stream->Next().has_value());

    Query query(*connection);
    query.AddLine(sql);
    query.Open();
    EXPECT_EQ(query.DisplayText(0), "1");
    EXPECT_THROW(query.NextResult(), DatabaseError);
    EXPECT_TRUE(AsRowSet(query.NextResult()));
    EXPECT_FALSE(query.NextResult().has_value());
  }
}

TEST_F(OdbcEndToEnd, CountThenErrorThenRowSet) {
  Serve(json::array(
      {Batch("update; fail; select",
             json::array({Count(2), Error(547, "The UPDATE statement conflicted."),
                          Rows(json::array({Column("a", "int")}), json::array({{9}}))}))}));
  auto connection = Connect();
  auto stream = connection->Execute("update; fail; select", 15);
  EXPECT_EQ(AsRowCount(stream->Next()), 2);
  EXPECT_THROW(stream->Next(), DatabaseError);
  const RowSetPtr rows = AsRowSet(stream->Next());
  ASSERT_TRUE(rows);
  EXPECT_EQ(rows->Row()[0].text, "9");
}

TEST_F(OdbcEndToEnd, NoResultSetIsTheQuerysOwnError) {
  Serve(json::array({Batch("set nocount on", json::array()),
                     Batch("update t set a = 1", json::array({Count(4)})),
                     Batch("print 'x'", json::array({Info(0, "x")}))}));
  auto connection = Connect();

  auto empty = connection->Execute("set nocount on", 15);
  EXPECT_FALSE(empty->Next().has_value());

  for (const char* sql : {"set nocount on", "update t set a = 1", "print 'x'"}) {
    SCOPED_TRACE(sql);
    Query query(*connection);
    query.AddLine(sql);
    try {
      query.Open();
      FAIL() << "opened";
    } catch (const DatabaseError& e) {
      EXPECT_STREQ(e.what(), kNoResultSetMessage);
    }
  }
}

TEST_F(OdbcEndToEnd, InfoMessagesDoNotDisturbTheResults) {
  Serve(json::array(
      {Batch("use db; select",
             json::array({Info(5701, "Changed database context to 'db'."),
                          Rows(json::array({Column("a", "int")}), json::array({{1}}))}))}));
  auto connection = Connect();
  Query query(*connection);
  query.AddLine("use db; select");
  query.Open();
  EXPECT_EQ(query.DisplayText(0), "1");
}

TEST_F(OdbcEndToEnd, UnknownProcedureGivesTheServersMessage) {
  Serve(json::array());
  auto connection = Connect();
  Query query(*connection);
  query.AddLine("exec sp_nothing_here");
  try {
    query.Open();
    FAIL() << "opened";
  } catch (const DatabaseError& e) {
    EXPECT_STREQ(e.what(), "Could not find stored procedure 'sp_nothing_here'.");
    EXPECT_EQ(e.number(), 2812);
  }
}

TEST_F(OdbcEndToEnd, ColumnsKeepTheirRawNamesAndTheQueryMakesThemUnique) {
  Serve(json::array({Batch(
      "select names",
      json::array({Rows(json::array({Column("", "int"), Column("a", "int"), Column("A", "int"),
                                     Column("a", "int"), Column("", "int")}),
                        json::array({{1, 2, 3, 4, 5}}))}))}));
  auto connection = Connect();
  auto stream = connection->Execute("select names", 15);
  const RowSetPtr raw = AsRowSet(stream->Next());
  ASSERT_TRUE(raw);
  ASSERT_EQ(raw->fields.size(), 5u);
  EXPECT_EQ(raw->fields[0].name, "");
  EXPECT_EQ(raw->fields[2].name, "A");

  Query query(*connection);
  query.AddLine("select names");
  query.Open();
  ASSERT_EQ(query.FieldCount(), 5);
  EXPECT_EQ(query.DisplayName(0), "COLUMN1");
  EXPECT_EQ(query.DisplayName(1), "a");
  EXPECT_EQ(query.DisplayName(2), "A_1");
  EXPECT_EQ(query.DisplayName(3), "a_2");
  EXPECT_EQ(query.DisplayName(4), "COLUMN5");
  EXPECT_EQ(query.DisplayText(4), "5");
}

TEST_F(OdbcEndToEnd, MultiLineBatchArrivesAsSent) {
  Serve(json::array(
      {Batch("select 1\r\nselect 2",
             json::array({Rows(json::array({Column("a", "int")}), json::array({{1}}))}))}));
  auto connection = Connect();
  Query query(*connection);
  query.AddLine("select 1");
  query.AddLine("select 2");
  query.Open();
  EXPECT_EQ(query.DisplayText(0), "1");
  const auto batches = server_->Batches();
  ASSERT_FALSE(batches.empty());
  EXPECT_EQ(batches.back(), "select 1\r\nselect 2");
}

// ---- connection life --------------------------------------------------------------------------

TEST_F(OdbcEndToEnd, ANewBatchDiscardsTheResultsAnEarlierOneLeftPending) {
  const json two = json::array({Rows(json::array({Column("a", "int")}), json::array({{1}})),
                                Rows(json::array({Column("b", "int")}), json::array({{2}}))});
  Serve(json::array({Batch("first", two), Batch("second", two)}));
  auto connection = Connect();
  auto first = connection->Execute("first", 15);
  ASSERT_TRUE(AsRowSet(first->Next()));
  auto second = connection->Execute("second", 15);
  EXPECT_TRUE(AsRowSet(second->Next()));
  EXPECT_FALSE(first->Next().has_value());
  EXPECT_TRUE(AsRowSet(second->Next()));
}

TEST_F(OdbcEndToEnd, CloseEndsOpenStreamsAndReopenWorks) {
  const json two = json::array({Rows(json::array({Column("a", "int")}), json::array({{1}})),
                                Rows(json::array({Column("b", "int")}), json::array({{2}}))});
  Serve(json::array({Batch("two", two)}));
  auto connection = Connect();
  auto stream = connection->Execute("two", 15);
  ASSERT_TRUE(AsRowSet(stream->Next()));
  connection->Close();
  EXPECT_FALSE(connection->Connected());
  EXPECT_FALSE(stream->Next().has_value());
  EXPECT_THROW(connection->Execute("two", 15), DatabaseError);
  connection->Open();
  EXPECT_TRUE(connection->Connected());
  auto again = connection->Execute("two", 15);
  EXPECT_TRUE(AsRowSet(again->Next()));
}

// A batch the server answers after 20 s, and a quick one.
json SlowBatchThenSelect2() {
  return json::array(
      {Batch("waitfor delay '00:00:20'",
             json::array({json{{"delay_ms", 20000}},
                          Rows(json::array({Column("a", "int")}), json::array({{1}}))})),
       Batch("select 2",
             json::array({Rows(json::array({Column("b", "int")}), json::array({{2}}))}))});
}

TEST_F(OdbcEndToEnd, TimeoutThenTheNextQueryWorks) {
  Serve(SlowBatchThenSelect2());
  auto connection = Connect();
  const auto start = std::chrono::steady_clock::now();
  try {
    auto stream = connection->Execute("waitfor delay '00:00:20'", 1);
    stream->Next();
    FAIL() << "no timeout";
  } catch (const DatabaseError& e) {
    EXPECT_EQ(e.state(), "HYT00");
    EXPECT_EQ(std::string(e.what()).rfind("Query timeout expired after 1 second", 0), 0u)
        << e.what();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_TRUE(connection->Connected());

  Query query(*connection);
  query.AddLine("select 2");
  query.Open();
  EXPECT_EQ(query.DisplayText(0), "2");
}

// The window stops a run by cancelling from its own thread while the run's thread waits.
TEST_F(OdbcEndToEnd, CancelFromAnotherThreadEndsTheWaitAndRefusesLaterBatches) {
  Serve(SlowBatchThenSelect2());
  auto connection = Connect();
  const auto start = std::chrono::steady_clock::now();
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    connection->Cancel();
  });
  EXPECT_THROW(
      {
        auto stream = connection->Execute("waitfor delay '00:00:20'", 30);
        while (stream->Next()) {
        }
      },
      DatabaseError);
  canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  try {
    connection->Execute("select 2", 30);
    FAIL() << "a batch after the cancel was sent";
  } catch (const DatabaseError& e) {
    EXPECT_STREQ(e.what(), kCancelledMessage);
  }
  // A new connection starts uncancelled.
  connection->Open();
  Query query(*connection);
  query.AddLine("select 2");
  query.Open();
  EXPECT_EQ(query.DisplayText(0), "2");
}

TEST_F(OdbcEndToEnd, TimeoutBetweenTwoRowSetsFailsTheNextResult) {
  Serve(json::array(
      {Batch("select 1; waitfor delay '00:00:20'; select 2",
             json::array({Rows(json::array({Column("a", "int")}), json::array({{1}})),
                          json{{"delay_ms", 20000}},
                          Rows(json::array({Column("b", "int")}), json::array({{2}}))})),
       Batch("select 3",
             json::array({Rows(json::array({Column("c", "int")}), json::array({{3}}))}))}));
  auto connection = Connect();
  auto stream = connection->Execute("select 1; waitfor delay '00:00:20'; select 2", 1);
  ASSERT_TRUE(AsRowSet(stream->Next()));
  const auto start = std::chrono::steady_clock::now();
  try {
    while (stream->Next()) {
    }
    FAIL() << "no timeout";
  } catch (const DatabaseError& e) {
    EXPECT_EQ(e.state(), "HYT00") << e.what();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_TRUE(connection->Connected());
  auto next = connection->Execute("select 3", 15);
  const RowSetPtr rows = AsRowSet(next->Next());
  ASSERT_TRUE(rows);
  EXPECT_EQ(rows->Row()[0].text, "3");
}

TEST_F(OdbcEndToEnd, DroppedAtABatchTheConnectionIsGone) {
  const json rows = Rows(json::array({Column("a", "int")}), json::array({{1}}));
  Serve(json::array({Batch("one", json::array({rows})), Batch("two", json::array({rows}))}),
        json{{"dropAtBatch", 2}});
  auto connection = Connect();
  EXPECT_TRUE(AsRowSet(connection->Execute("one", 15)->Next()));
  try {
    auto stream = connection->Execute("two", 15);
    // Whether the driver notices on sending or on reading, the stream must not go on forever.
    int calls = 0;
    while (stream->Next() && ++calls < 5) {
    }
    FAIL() << "no error for a dropped connection";
  } catch (const DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("connection to the server was lost"), std::string::npos)
        << e.what();
    EXPECT_EQ(e.state(), "08S01");
  }
  EXPECT_FALSE(connection->Connected());
  try {
    connection->Execute("one", 15);
    FAIL() << "executed on a lost connection";
  } catch (const DatabaseError& e) {
    EXPECT_STREQ(e.what(), "Not connected to the server");
  }
}

// The link dies in the middle of the response: the driver only warns about the EOF and would
// offer an empty result after it, then fail every further call.
TEST_F(OdbcEndToEnd, DropInTheMiddleOfTheResponseEndsTheStreamAfterOneError) {
  Serve(json::array(
      {Batch("two then drop",
             json::array({Rows(json::array({Column("a", "int")}), json::array({{1}})), Count(1),
                          json{{"drop", true}},
                          Rows(json::array({Column("b", "int")}), json::array({{2}}))}))}));
  auto connection = Connect();
  auto stream = connection->Execute("two then drop", 15);
  ASSERT_TRUE(AsRowSet(stream->Next()));
  EXPECT_EQ(AsRowCount(stream->Next()), 1);
  try {
    stream->Next();
    FAIL() << "the lost link went unnoticed";
  } catch (const DatabaseError& e) {
    EXPECT_EQ(e.state(), "08S01");
    EXPECT_STREQ(e.what(),
                 "The connection to the server was lost (Unexpected EOF from the server)");
  }
  EXPECT_FALSE(connection->Connected());
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(stream->Next().has_value());

  try {
    connection->Execute("two then drop", 15);
    FAIL() << "a batch ran on a dropped connection";
  } catch (const DatabaseError& e) {
    EXPECT_STREQ(e.what(), "Not connected to the server");
  }
}

TEST_F(OdbcEndToEnd, WrongPasswordShowsTheLoginFailure) {
  Serve(json::array());
  OdbcConnection connection;
  connection.SetConnectionString(ConnectionString("not-the-password"));
  connection.SetConnectionTimeout(10);
  try {
    connection.Open();
    FAIL() << "logged in with a wrong password";
  } catch (const DatabaseError& e) {
    EXPECT_STREQ(e.what(), "Login failed for user 'sa'.");
    EXPECT_EQ(e.number(), 18456);
  }
  EXPECT_FALSE(connection.Connected());
}

TEST_F(OdbcEndToEnd, RefusedLoginsFailTheOpen) {
  Serve(json::array(), json{{"refuseLogins", true}});
  OdbcConnection connection;
  connection.SetConnectionString(ConnectionString());
  connection.SetConnectionTimeout(10);
  EXPECT_THROW(connection.Open(), DatabaseError);
  EXPECT_FALSE(connection.Connected());
}

TEST_F(OdbcEndToEnd, AfterConnectHookRunsOnTheOpenConnection) {
  Serve(json::array(
      {Batch("select @@servername", json::array({Rows(json::array({Column("", "nvarchar(128)")}),
                                                      json::array({{"QUORVANE-TEST"}}))}))}));
  OdbcConnection connection;
  connection.SetConnectionString(ConnectionString());
  std::string name;
  connection.Open([&] {
    Query query(connection);
    query.AddLine("select @@servername");
    query.Open();
    name = query.DisplayText(0);
  });
  EXPECT_EQ(name, "QUORVANE-TEST");
}

}  // namespace
}  // namespace quorvane::data
