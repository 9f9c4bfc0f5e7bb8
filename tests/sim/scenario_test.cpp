// Scenario documents: what loads, what is refused (and how clearly), and which rule answers a
// batch.
#include <gtest/gtest.h>

#include <string>

#include "sqlserver_sim/scenario.h"

namespace sqlsim {
namespace {

// The message of the error ParseScenario throws, or "" when it loads.
std::string LoadError(const std::string& json) {
  try {
    ParseScenario(json);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}

TEST(ScenarioParsing, LoadsTheDocumentedShape) {
  const Scenario s = ParseScenario(R"J({
    "server": {"name": "S1", "version": "14.0.3456.2"},
    "logins": [{"name": "sa", "password": "secret"}],
    "faults": {"refuseLogins": false, "dropAtBatch": 3},
    "batches": [
      {"sql": "select 1", "results": [{"rows": {"columns": [{"name": "", "type": "int"}], "data": [[1]]}}]},
      {"pattern": "exec sp_who.*", "results": [{"count": 3}, {"info": {"number": 5701, "class": 0, "state": 1, "text": "i"}},
        {"error": {"number": 942, "class": 14, "state": 4, "text": "e"}}, {"delay_ms": 20}, {"drop": true}]}
    ],
    "unknown": "object"
  })J");
  EXPECT_EQ(s.serverName, "S1");
  EXPECT_EQ(s.versionBytes, (std::array<std::uint8_t, 4>{14, 0, 0x0D, 0x80}));
  EXPECT_EQ(s.revision, 2);
  EXPECT_EQ(s.dropAtBatch, 3);
  EXPECT_EQ(s.unknown, UnknownMode::Object);
  ASSERT_EQ(s.batches.size(), 2u);
  const auto& items = s.batches[1].results;
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0].kind, ResultItem::Kind::Count);
  EXPECT_EQ(items[0].count, 3u);
  EXPECT_EQ(items[1].message.number, 5701);
  EXPECT_EQ(items[2].message.severity, 14);
  EXPECT_EQ(items[2].message.state, 4);
  EXPECT_EQ(items[3].delayMs, 20);
  EXPECT_EQ(items[4].kind, ResultItem::Kind::Drop);
  EXPECT_TRUE(s.AcceptsLogin("SA", "secret"));  // names ignore case, passwords do not
  EXPECT_FALSE(s.AcceptsLogin("sa", "Secret"));
  EXPECT_FALSE(s.AcceptsLogin("bob", "secret"));
}

TEST(ScenarioParsing, DefaultsAndComments) {
  const Scenario s = ParseScenario(R"J({
    // comments are allowed, and so are "comment" fields
    "comment": "x",
    "batches": [{"sql": "x", "results": [], "_note": "free text"}]
  })J");
  EXPECT_EQ(s.unknown, UnknownMode::Auto);
  EXPECT_FALSE(s.logins.has_value());
  EXPECT_TRUE(s.AcceptsLogin("anyone", "anything"));
  EXPECT_EQ(s.database, "master");
}

TEST(ScenarioParsing, RefuseLoginsWins) {
  const Scenario s = ParseScenario(
      R"J({"logins": [{"name": "sa", "password": "p"}], "faults": {"refuseLogins": true}})J");
  EXPECT_FALSE(s.AcceptsLogin("sa", "p"));
}

TEST(ScenarioParsing, ErrorsNameThePlace) {
  struct Case {
    const char* json;
    const char* expected;
  };
  const Case cases[] = {
      {R"J({"batches": [})J", "not valid JSON"},
      {R"J({"batchs": []})J", "unknown field 'batchs'"},
      {R"J({"batches": [{"results": []}]})J", "batches[0]: a batch has either \"sql\""},
      {R"J({"batches": [{"sql": "a", "pattern": "b", "results": []}]})J",
       "batches[0]: a batch has either"},
      {R"J({"batches": [{"sql": "a"}]})J", "batches[0]: a batch needs \"results\""},
      {R"J({"batches": [{"pattern": "(", "results": []}]})J",
       "batches[0].pattern: not a valid regular expression"},
      {R"J({"batches": [{"sql": "a", "results": [{"rows": {"columns": [{"name": "n", "type": "inte"}]}}]}]})J",
       "batches[0].results[0].rows.columns[0].type: unknown SQL type 'inte'"},
      {R"J({"batches": [{"sql": "a", "results": [{"rows": {"columns": [{"name": "n", "type": "nvarchar"}]}}]}]})J",
       "needs a length"},
      {R"J({"batches": [{"sql": "a", "results": [{"rows": {"columns": [{"name": "n", "type": "int"}], "data": [[1, 2]]}}]}]})J",
       "batches[0].results[0].rows.data[0]: expected an array of 1 values, got 2 values"},
      {R"J({"batches": [{"sql": "a", "results": [{"rows": {"columns": [{"name": "n", "type": "int"}], "data": [["abc"]]}}]}]})J",
       "batches[0].results[0].rows.data[0][0] (column 'n'): \"abc\" is not an integer (int)"},
      {R"J({"batches": [{"sql": "a", "results": [{"rows": {"columns": [{"name": "n", "type": "tinyint"}], "data": [[256]]}}]}]})J",
       "256 is out of range for tinyint"},
      {R"J({"batches": [{"sql": "a", "results": [{"rows": {"columns": [{"name": "d", "type": "datetime"}], "data": [["1700-01-01"]]}}]}]})J",
       "datetime values run from 1753-01-01"},
      {R"J({"batches": [{"sql": "a", "results": [{"rows": {"columns": [{"name": "n", "type": "int", "nullable": false}], "data": [[null]]}}]}]})J",
       "NULL in a column marked not nullable"},
      {R"J({"batches": [{"sql": "a", "results": [{"rows": {"columns": [{"name": "n", "type": "decimal(5,2)"}], "data": [["1234.5"]]}}]}]})J",
       "'1234.5' does not fit decimal(5,2)"},
      {R"J({"batches": [{"sql": "a", "results": [{"rows": {"columns": []}}]}]})J",
       "non-empty \"columns\""},
      {R"J({"batches": [{"sql": "a", "results": [{"count": 1, "drop": true}]}]})J",
       "exactly one of"},
      {R"J({"batches": [{"sql": "a", "results": [{"error": {"number": 1, "class": 10, "text": "t"}}]}]})J",
       "batches[0].results[0].error.class: an error has class 11-25"},
      {R"J({"batches": [{"sql": "a", "results": [{"error": {"class": 16, "text": "t"}}]}]})J",
       "needs a \"number\""},
      {R"J({"batches": [{"sql": "a", "results": [{"delay_ms": -1}]}]})J",
       "delay_ms: -1 is out of range"},
      {R"J({"server": {"version": "15.x"}})J", "server.version: '15.x' is not a version"},
      {R"J({"unknown": "nothing"})J", "unknown: expected \"auto\""},
      {R"J({"faults": {"dropAtBatch": "2"}})J", "faults.dropAtBatch: expected an integer"},
      {R"J({"faults": {"malformedMetadataAtBatch": 1, "malformedMetadata": "crash"}})J",
       "faults.malformedMetadata: expected \"abort\" or \"stall\""},
      {R"J({"faults": {"malformedMetadataAtBatch": 1}})J",
       "faults.malformedMetadataAtBatch: needs \"malformedMetadata\""},
      {R"J({"faults": {"dropOnceAtBatch": 1, "refuseLoginAfterDrop": true}})J",
       "faults: unknown field 'refuseLoginAfterDrop'"},
      {R"J([1, 2])J", "(top level): expected an object"},
  };
  for (const Case& c : cases) {
    const std::string message = LoadError(c.json);
    EXPECT_NE(message.find(c.expected), std::string::npos)
        << "scenario: " << c.json << "\nmessage: " << message
        << "\nexpected to contain: " << c.expected;
    EXPECT_EQ(message.rfind("scenario: ", 0), 0u) << message;
  }
}

TEST(ScenarioMatching, ExactTextFirstThenPatternsInOrder) {
  const Scenario s = ParseScenario(R"J({"batches": [
    {"pattern": "select .*", "results": [{"count": 1}]},
    {"pattern": "select 1", "results": [{"count": 2}]},
    {"sql": "select 1\r\n  from t  ", "results": [{"count": 3}]},
    {"pattern": "SELECT X", "ignoreCase": true, "results": [{"count": 4}]}
  ]})J");
  auto countOf = [&](const std::string& batch) -> int {
    const BatchRule* rule = s.Find(batch);
    return rule ? static_cast<int>(rule->results.at(0).count) : -1;
  };
  EXPECT_EQ(countOf("select 1\n  from t"), 3);           // CR LF normalised
  EXPECT_EQ(countOf("select 1\r\n  from t \r\n\t"), 3);  // trailing whitespace of the batch
  EXPECT_EQ(countOf(" select 1"), -1);                   // leading blanks matter
  EXPECT_EQ(countOf("select 1"), 1);                     // first matching pattern wins
  EXPECT_EQ(countOf("select x"), 1);
  EXPECT_EQ(countOf("SeLeCt x"), 4);
  EXPECT_EQ(countOf("select 1\nfrom u"),
            -1);  // '.' does not cross lines; the pattern must match all
  EXPECT_EQ(countOf("update t"), -1);
}

TEST(ScenarioMatching, DuplicateExactTextKeepsTheFirst) {
  const Scenario s = ParseScenario(R"J({"batches": [
    {"sql": "a", "results": [{"count": 1}]}, {"sql": "a ", "results": [{"count": 2}]}]})J");
  ASSERT_NE(s.Find("a"), nullptr);
  EXPECT_EQ(s.Find("a")->results[0].count, 1u);
}

TEST(UnknownBatches, NamesLikeSqlServer) {
  EXPECT_EQ(UnknownBatchError(UnknownMode::Auto, "exec master..xp_nothing 1, 2").text,
            "Could not find stored procedure 'master..xp_nothing'.");
  EXPECT_EQ(UnknownBatchError(UnknownMode::Auto, "EXECUTE @rc = [dbo].[my proc]").text,
            "Could not find stored procedure 'dbo.my proc'.");
  EXPECT_EQ(UnknownBatchError(UnknownMode::Auto, "sp_who2 'active'").text,
            "Could not find stored procedure 'sp_who2'.");
  const ServerMessage object =
      UnknownBatchError(UnknownMode::Auto, "-- list\nselect a from /* x */ [msdb].dbo.[sysjobs] j");
  EXPECT_EQ(object.number, 208);
  EXPECT_EQ(object.severity, 16);
  EXPECT_EQ(object.text, "Invalid object name 'msdb.dbo.sysjobs'.");
  EXPECT_EQ(
      UnknownBatchError(UnknownMode::Auto, "select * from (select 1 x) q join nope n on 1=1").text,
      "Invalid object name 'nope'.");
  EXPECT_EQ(UnknownBatchError(UnknownMode::Auto, "select 'from x' as a from real_table").text,
            "Invalid object name 'real_table'.");
  const ServerMessage proc = UnknownBatchError(UnknownMode::Procedure, "select * from t");
  EXPECT_EQ(proc.number, 2812);
  EXPECT_EQ(proc.state, 62);
  EXPECT_EQ(proc.text, "Could not find stored procedure 'select'.");
  EXPECT_EQ(UnknownBatchError(UnknownMode::Object, "exec p").text, "Invalid object name 'p'.");
}

TEST(UnknownBatches, ProcedureCallsAreRecognised) {
  EXPECT_TRUE(LooksLikeProcedureCall("exec master..xp_msver"));
  EXPECT_TRUE(LooksLikeProcedureCall("  EXECUTE dbo.p"));
  EXPECT_TRUE(LooksLikeProcedureCall("sp_helpdb"));
  EXPECT_TRUE(LooksLikeProcedureCall("master.dbo.xp_fixeddrives"));
  EXPECT_FALSE(LooksLikeProcedureCall("select * from sp_table"));
  EXPECT_FALSE(LooksLikeProcedureCall("executed"));
}

}  // namespace
}  // namespace sqlsim
