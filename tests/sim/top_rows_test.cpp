// TOP n in a batch, and the rule option that cuts the last row set to it.
#include "sqlserver_sim/top_rows.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

namespace sqlsim {
namespace {

TEST(TopRows, TheLastTopOfTheBatchCounts) {
  EXPECT_EQ(LastTopCount("select top 5 a from t"), 5u);
  EXPECT_EQ(LastTopCount("SELECT TOP (7) a FROM t"), 7u);
  EXPECT_EQ(LastTopCount("select Top(3) a into #x from t\r\nselect top 20 a from #x"), 20u);
  EXPECT_EQ(LastTopCount("select top 4 a from t\nselect 'top 3' -- top 2\n/* top 1 */"), 4u);
  EXPECT_EQ(LastTopCount("select a from t where b = 'top 3' -- top 2"), std::nullopt);
  EXPECT_EQ(LastTopCount("select top 10 percent a from t"), std::nullopt);
  EXPECT_EQ(LastTopCount("select top (@n) a from t"), std::nullopt);
  EXPECT_EQ(LastTopCount("select x.top, [top] from t"), std::nullopt);
}

std::shared_ptr<const RowSet> Numbers(int count) {
  auto set = std::make_shared<RowSet>();
  set->columns.push_back(Column{"n", ParseSqlType("int"), true});
  for (int i = 0; i < count; ++i) set->rows.push_back({ParseValue(set->columns[0].type, i)});
  return set;
}

TEST(TopRows, OnlyTheLastRowSetIsCut) {
  std::vector<ResultItem> items(4);
  items[0].kind = ResultItem::Kind::Rows;
  items[0].rows = Numbers(3);
  items[1].kind = ResultItem::Kind::Count;
  items[2].kind = ResultItem::Kind::Rows;
  items[2].rows = Numbers(5);
  items[3].kind = ResultItem::Kind::Info;

  const std::vector<ResultItem> cut = CutLastRowSet(items, 2);
  ASSERT_EQ(cut.size(), 4u);
  EXPECT_EQ(cut[0].rows->rows.size(), 3u);
  ASSERT_EQ(cut[2].rows->rows.size(), 2u);
  EXPECT_EQ(cut[2].rows->rows[1][0].integer, 1);
  EXPECT_EQ(cut[2].rows->columns.size(), 1u);
  EXPECT_EQ(items[2].rows->rows.size(), 5u);  // the rule itself is left alone
  EXPECT_EQ(CutLastRowSet(items, 9)[2].rows->rows.size(), 5u);
  EXPECT_EQ(CutLastRowSet(items, 0)[2].rows->rows.size(), 0u);
}

TEST(TopRows, TheRuleOption) {
  const Scenario s = ParseScenario(R"J({"batches": [
    {"sql": "a", "top": "last", "results": []}, {"sql": "b", "results": []}]})J");
  EXPECT_TRUE(s.batches[0].topLast);
  EXPECT_FALSE(s.batches[1].topLast);
  try {
    ParseScenario(R"J({"batches": [{"sql": "a", "top": "first", "results": []}]})J");
    ADD_FAILURE() << "\"first\" was accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("batches[0].top: the only choice is \"last\""),
              std::string::npos)
        << e.what();
  }
}

}  // namespace
}  // namespace sqlsim
