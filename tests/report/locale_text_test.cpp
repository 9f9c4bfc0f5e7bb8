#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "report/locale_text.h"
#include "support/environment.h"

namespace quorvane::report {
namespace {

// Sets LC_ALL for one test and puts it back.
class LocaleTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* v = std::getenv("LC_ALL")) saved = v;
  }
  void TearDown() override {
    if (saved) {
      quorvane::testing::SetEnvironment("LC_ALL", *saved);
    } else {
      quorvane::testing::UnsetEnvironment("LC_ALL");
    }
  }
  std::optional<std::string> saved;
};

TEST_F(LocaleTextTest, WithoutALocaleDatesAreUnambiguous) {
  quorvane::testing::SetEnvironment("LC_ALL", "C");
  EXPECT_EQ(LocaleDateTimeText({2026, 12, 9, 14, 30, 5, 120}), "2026-12-09 14:30:05");
  EXPECT_EQ(LocaleDateTimeText({2026, 12, 9, 0, 0, 0, 0}), "2026-12-09");
  EXPECT_EQ(LocaleDateTimeText(data::DateTime{}), "1899-12-30");  // the zero date-time
}

TEST_F(LocaleTextTest, AnUnknownLocaleFallsBackInsteadOfFailing) {
  quorvane::testing::SetEnvironment("LC_ALL", "xx_NOWHERE.UTF-8");
  EXPECT_EQ(LocaleDateTimeText({2026, 1, 2, 3, 4, 5, 0}), "2026-01-02 03:04:05");
}

}  // namespace
}  // namespace quorvane::report
