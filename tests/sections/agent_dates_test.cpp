#include "sections/agent_dates.h"

#include <gtest/gtest.h>

#include "section_test.h"

namespace quorvane::testing {
namespace {

using sections::DatePattern;
using sections::TimePattern;

// clang-format off
TEST(AgentDatePatterns, DateLinesForLastEmailDateAreTheLiteralOnes) {
  EXPECT_EQ(DatePattern("last_email_date", "last_email_date,"),
            (std::vector<std::string>{
                "right('00' + convert(varchar(2), (last_email_date - ((last_email_date / 10000) * 10000) - (((last_email_date - ((last_email_date / 10000) * 10000)) / 100) * 100))), 2) + '/' +",
                "right('00' + convert(varchar(2), ((last_email_date - ((last_email_date / 10000) * 10000)) / 100)), 2) + '/' +",
                "right('0000' + convert(varchar(4), (last_email_date / 10000)), 4) as last_email_date,",
            }));
}

TEST(AgentDatePatterns, TimeLinesForLastEmailTimeAreTheLiteralOnes) {
  EXPECT_EQ(TimePattern("last_email_time", "last_email_time,"),
            (std::vector<std::string>{
                "right('0' + convert(varchar(2), (last_email_time / 10000)), 2) + ':' +",
                "right('0' + convert(varchar(2), ((last_email_time - ((last_email_time / 10000) * 10000)) / 100)), 2) + ':' +",
                "right('0' + convert(varchar(2), (last_email_time - ((last_email_time / 10000) * 10000) - (((last_email_time - ((last_email_time / 10000) * 10000)) / 100) * 100))), 2) as last_email_time,",
            }));
}
// clang-format on

TEST(AgentDatePatterns, OtherColumnsAndAliasesAreWrittenEverywhere) {
  EXPECT_EQ(DatePattern("a.count_reset_date", "'count reset date',"),
            ExpectedDateLines("a.count_reset_date", "'count reset date',"));
  EXPECT_EQ(TimePattern("a.last_occurrence_time", "'last occurrence time',"),
            ExpectedTimeLines("a.last_occurrence_time", "'last occurrence time',"));
  // The last column of a select has no comma; an alias may end in a blank.
  EXPECT_EQ(TimePattern("last_netsend_time", "last_netsend_time").back(),
            "right('0' + convert(varchar(2), (last_netsend_time - ((last_netsend_time / 10000) * "
            "10000) - (((last_netsend_time - ((last_netsend_time / 10000) * 10000)) / 100) * "
            "100))), 2) as last_netsend_time");
  EXPECT_EQ(DatePattern("run_date", "'run date', ").back(),
            "right('0000' + convert(varchar(4), (run_date / 10000)), 4) as 'run date', ");
}

TEST(AgentDatePatterns, NoOtherColumnNameLeaksIn) {
  for (const auto& lines : {DatePattern("x", "y"), TimePattern("x", "y")}) {
    ASSERT_EQ(lines.size(), 3u);
    for (const auto& line : lines) {
      EXPECT_EQ(line.find("last_email"), std::string::npos) << line;
      EXPECT_NE(line.find("(x / 10000)"), std::string::npos) << line;
    }
  }
}

}  // namespace
}  // namespace quorvane::testing
