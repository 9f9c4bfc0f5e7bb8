#include <gtest/gtest.h>

#include "report/text.h"

namespace quorvane::report {
namespace {

TEST(TitleCase, RaisesLettersAfterSeparatorsOnly) {
  EXPECT_EQ(TitleCase("run value"), "Run Value");
  EXPECT_EQ(TitleCase("DBName"), "Dbname");
  EXPECT_EQ(TitleCase("is_read-only"), "Is_read-Only");  // "_" is no separator
  EXPECT_EQ(TitleCase("is read-only"), "Is Read-Only");
  EXPECT_EQ(TitleCase("max(size)"), "Max(Size)");
  EXPECT_EQ(TitleCase("a1b"), "A1b");
  EXPECT_EQ(TitleCase("o'neil"), "O'neil");
  EXPECT_EQ(TitleCase("NT Login"), "Nt Login");
  EXPECT_EQ(TitleCase(""), "");
  EXPECT_EQ(TitleCase("run duration<br>(h:m:s)"), "Run Duration<Br>(H:M:S)");
}

TEST(TitleCase, HasExactlyTheTwentyFourSeparators) {
  const std::string separators = " !\"#$&()+,-./:<=>?[]`{|}";
  ASSERT_EQ(separators.size(), 24u);
  for (char s : separators) {
    EXPECT_EQ(TitleCase(std::string("x") + s + "y"), std::string("X") + s + "Y") << s;
  }
  for (char s : std::string("%'*;@\\^_~\t0")) {
    EXPECT_EQ(TitleCase(std::string("x") + s + "y"), std::string("X") + s + "y") << int(s);
  }
}

TEST(TitleCase, LeavesNonAsciiLettersAlone) {
  EXPECT_EQ(TitleCase("\xC3\x89T\xC3\x89 x"), "\xC3\x89t\xC3\x89 X");  // ÉTÉ x
}

TEST(HtmlEscape, EscapesAmpersandFirstAndTheSpecialCharacters) {
  EXPECT_EQ(HtmlEscape("a<b & \"c\""), "a&lt;b &amp; &quot;c&quot;");
  EXPECT_EQ(HtmlEscape("R&amp;D"), "R&amp;amp;D");
  EXPECT_EQ(HtmlEscape("&lt;"), "&amp;lt;");
  EXPECT_EQ(HtmlEscape("\u00A9 \u00AE \u2122 >"), "&copy; &reg; &trade; &gt;");
  EXPECT_EQ(HtmlEscape("plain 'text'"), "plain 'text'");
  EXPECT_EQ(HtmlEscape(std::string("tab\tcr\rlf\n nul\0 esc\x1B", 20)),
            "tab\tcr\rlf\n nul&#x2400; esc&#x241B;");
}

TEST(CommentText, NoDoubleHyphenSurvivesToEndTheComment) {
  EXPECT_EQ(CommentText("a --> b <!-- c ---"), "a - -> b <!- - c - - -");
  EXPECT_EQ(CommentText(std::string("x\0", 2)), "x&#x2400;");
}

TEST(GroupThousands, InsertsCommasFromTheRight) {
  EXPECT_EQ(GroupThousands(""), "");
  EXPECT_EQ(GroupThousands("0"), "0");
  EXPECT_EQ(GroupThousands("999"), "999");
  EXPECT_EQ(GroupThousands("1000"), "1,000");
  EXPECT_EQ(GroupThousands("1234"), "1,234");
  EXPECT_EQ(GroupThousands("1234567"), "1,234,567");
  EXPECT_EQ(GroupThousands("123456789"), "123,456,789");
  EXPECT_EQ(GroupThousands("9223372036854775807"), "9,223,372,036,854,775,807");
}

TEST(GroupThousands, GroupsTheDigitsOfNegativeNumbers) {
  EXPECT_EQ(GroupThousands("-123"), "-123");
  EXPECT_EQ(GroupThousands("-1234"), "-1,234");
  EXPECT_EQ(GroupThousands("-123456"), "-123,456");
}

TEST(ReplaceInStrings, ReplacesEveryOccurrenceOrLeavesTheListAlone) {
  std::vector<std::string> list = {"[SQLServerQuorva]", "a=1"};
  EXPECT_FALSE(ReplaceInStrings("[Absent]", "x", list));
  EXPECT_EQ(list, (std::vector<std::string>{"[SQLServerQuorva]", "a=1"}));

  std::vector<std::string> twice = {"ab ab", "c"};
  EXPECT_TRUE(ReplaceInStrings("ab", "x", twice));
  EXPECT_EQ(twice, (std::vector<std::string>{"x x", "c"}));

  EXPECT_TRUE(ReplaceInStrings("[SQLServerQuorva]", "[SQLServerQuorvane]", list));
  EXPECT_EQ(list, (std::vector<std::string>{"[SQLServerQuorvane]", "a=1"}));
}

TEST(ReplaceInStrings, IsCaseSensitive) {
  std::vector<std::string> list = {"[sqlserverquorva]"};
  EXPECT_FALSE(ReplaceInStrings("[SQLServerQuorva]", "x", list));
}

TEST(GetVersionString, IsTheFourPartProgramVersion) {
  EXPECT_EQ(GetVersionString(), "1.3.6.15");
}

}  // namespace
}  // namespace quorvane::report
