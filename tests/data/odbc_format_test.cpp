#include "data/odbc/odbc_format.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>

namespace quorvane::data::odbc {
namespace {

using K = FieldKind;

struct Mapping {
  SQLSMALLINT type;
  SQLULEN size;
  K kind;
  ValueReader reader;
};

TEST(OdbcTypeMapping, EveryMappedTypeGetsItsKindAndReader) {
  const Mapping mappings[] = {
      {SQL_VARBINARY, 85, K::ftVarBytes, ValueReader::kBinary},
      {SQL_VARBINARY, 0, K::ftBlob, ValueReader::kBinary},  // varbinary(max), as image
      {SQL_BINARY, 16, K::ftBytes, ValueReader::kBinary},
      {SQL_LONGVARBINARY, 2147483647, K::ftBlob, ValueReader::kBinary},
      {SQL_WCHAR, 10, K::ftFixedWideChar, ValueReader::kWideText},
      {SQL_WLONGVARCHAR, 1073741823, K::ftWideMemo, ValueReader::kWideText},
      {kSqlSsXml, 0, K::ftWideMemo, ValueReader::kWideText},
      {SQL_WVARCHAR, 0, K::ftWideMemo, ValueReader::kWideText},
      {SQL_WVARCHAR, 128, K::ftWideString, ValueReader::kWideText},
      {SQL_CHAR, 10, K::ftFixedChar, ValueReader::kWideText},
      {SQL_VARCHAR, 50, K::ftString, ValueReader::kWideText},
      {SQL_VARCHAR, 0, K::ftString, ValueReader::kWideText},
      {SQL_LONGVARCHAR, 2147483647, K::ftMemo, ValueReader::kWideText},
      {SQL_TINYINT, 3, K::ftWord, ValueReader::kInteger},
      {SQL_SMALLINT, 5, K::ftSmallint, ValueReader::kInteger},
      {SQL_INTEGER, 10, K::ftInteger, ValueReader::kInteger},
      {SQL_BIGINT, 19, K::ftLargeint, ValueReader::kInteger},
      {SQL_BIT, 1, K::ftBoolean, ValueReader::kBit},
      {SQL_REAL, 24, K::ftFloat, ValueReader::kReal},
      {SQL_FLOAT, 53, K::ftFloat, ValueReader::kDouble},
      {SQL_DOUBLE, 53, K::ftFloat, ValueReader::kDouble},
      {SQL_DECIMAL, 19, K::ftFMTBcd, ValueReader::kExactText},
      {SQL_NUMERIC, 38, K::ftFMTBcd, ValueReader::kExactText},
      {SQL_TYPE_TIMESTAMP, 23, K::ftDateTime, ValueReader::kTimestamp},
      {SQL_TYPE_DATE, 10, K::ftDateTime, ValueReader::kTimestamp},
      {SQL_DATETIME, 23, K::ftDateTime, ValueReader::kTimestamp},
      {SQL_TIMESTAMP, 23, K::ftDateTime, ValueReader::kTimestamp},
      {SQL_TYPE_TIME, 8, K::ftDateTime, ValueReader::kTimeText},
      {SQL_TIME, 8, K::ftDateTime, ValueReader::kTimeText},
      {kSqlSsTime2, 16, K::ftDateTime, ValueReader::kTimeText},
      {kSqlSsTimestampOffset, 34, K::ftDateTime, ValueReader::kOffsetText},
      {SQL_GUID, 36, K::ftGuid, ValueReader::kGuid},
      {kSqlSsVariant, 8000, K::ftVariant, ValueReader::kWideText},
  };
  for (const Mapping& m : mappings) {
    SCOPED_TRACE("SQL type " + std::to_string(m.type) + " size " + std::to_string(m.size));
    const auto shape = ShapeForSqlType(m.type, m.size);
    ASSERT_TRUE(shape.has_value());
    EXPECT_EQ(FieldKindName(shape->kind), FieldKindName(m.kind));
    EXPECT_EQ(static_cast<int>(shape->reader), static_cast<int>(m.reader));
  }
}

TEST(OdbcTypeMapping, UnknownTypesAreNotOffered) {
  for (SQLSMALLINT type : {SQLSMALLINT{SQL_INTERVAL_YEAR}, SQLSMALLINT{SQL_INTERVAL_DAY_TO_SECOND},
                           SQLSMALLINT{-151} /* CLR UDT */, SQLSMALLINT{-153} /* table */,
                           SQLSMALLINT{SQL_UNKNOWN_TYPE}, SQLSMALLINT{1234}}) {
    EXPECT_FALSE(ShapeForSqlType(type, 10).has_value()) << type;
  }
}

double ParseDouble(const std::string& text) {
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  EXPECT_EQ(result.ptr, text.data() + text.size()) << text;
  return value;
}

TEST(OdbcDisplayText, DoublesAreShortestRoundTrip) {
  EXPECT_EQ(FormatDouble(0.1), "0.1");
  EXPECT_EQ(FormatDouble(3.0), "3");
  EXPECT_EQ(FormatDouble(-2.5), "-2.5");
  EXPECT_EQ(FormatDouble(1e20), "1e+20");
  EXPECT_EQ(FormatDouble(0.0), "0");
  for (double v : {1.0 / 3.0, 2.0 / 3.0, 1.7976931348623157e308, 4.9e-324, -123456.789e-7,
                   std::nextafter(1.0, 2.0)}) {
    const std::string text = FormatDouble(v);
    EXPECT_EQ(ParseDouble(text), v) << text;
    EXPECT_LE(text.size(), 24u) << text;
  }
}

TEST(OdbcDisplayText, RealsKeepTheirOwnShortestText) {
  EXPECT_EQ(FormatReal(3.14f), "3.14");
  EXPECT_EQ(FormatReal(0.1f), "0.1");
  EXPECT_EQ(FormatReal(std::numeric_limits<float>::max()), "3.4028235e+38");
  EXPECT_NE(FormatDouble(static_cast<double>(3.14f)), "3.14");  // why reals are read as float
}

TEST(OdbcDisplayText, GuidIsUpperCaseInCanonicalGroups) {
  SQLGUID guid{};
  guid.Data1 = 0x6f9619ff;
  guid.Data2 = 0x8b86;
  guid.Data3 = 0xd011;
  const unsigned char tail[8] = {0xb4, 0x2d, 0x00, 0xc0, 0x4f, 0xc9, 0x64, 0xff};
  for (int i = 0; i < 8; ++i) guid.Data4[i] = tail[i];
  EXPECT_EQ(FormatGuid(guid), "6F9619FF-8B86-D011-B42D-00C04FC964FF");
  EXPECT_EQ(FormatGuid(SQLGUID{}), "00000000-0000-0000-0000-000000000000");
}

TEST(OdbcDisplayText, BinaryIsHexWithPrefix) {
  const unsigned char bytes[] = {0x00, 0xAB, 0x0F, 0xF0, 0x7e};
  EXPECT_EQ(FormatBinary(bytes), "0x00AB0FF07E");
  EXPECT_EQ(FormatBinary({}), "0x");
}

TEST(OdbcDisplayText, TimestampKeepsMillisecondsAndCutsFinerDigits) {
  SQL_TIMESTAMP_STRUCT ts{};
  ts.year = 1753;
  ts.month = 1;
  ts.day = 1;
  ts.hour = 23;
  ts.minute = 59;
  ts.second = 59;
  ts.fraction = 999'999'900;
  const DateTime dt = ToDateTime(ts);
  EXPECT_EQ(dt.ToIsoText(), "1753-01-01 23:59:59.999");
  ts.fraction = 0;
  EXPECT_EQ(ToDateTime(ts).ToIsoText(), "1753-01-01 23:59:59");
  ts.fraction = 500'000;  // 0.5 ms: below what is shown
  EXPECT_EQ(ToDateTime(ts).ToIsoText(), "1753-01-01 23:59:59");
}

TEST(OdbcDisplayText, TimeOfDayFromDriverText) {
  Value v = TimeOfDayValue("13:45:10.1234567");
  EXPECT_FALSE(v.isNull);
  EXPECT_EQ(v.text, "13:45:10.123");
  ASSERT_TRUE(std::holds_alternative<DateTime>(v.native));
  const DateTime dt = std::get<DateTime>(v.native);
  EXPECT_EQ(dt.year, 1899);
  EXPECT_EQ(dt.hour, 13);
  EXPECT_EQ(dt.millisecond, 123);
  EXPECT_EQ(TimeOfDayValue("07:08:09").text, "07:08:09");
  EXPECT_EQ(TimeOfDayValue("07:08:09.0000000").text, "07:08:09");
  Value bad = TimeOfDayValue("25:00:00");
  EXPECT_EQ(bad.text, "25:00:00");
  EXPECT_TRUE(std::holds_alternative<std::monostate>(bad.native));
}

TEST(OdbcDisplayText, OffsetDateTimeKeepsLocalTimeAndOffset) {
  Value v = OffsetDateTimeValue("2020-05-06 07:08:09.1230000 +02:00");
  EXPECT_EQ(v.text, "2020-05-06 07:08:09.123 +02:00");
  ASSERT_TRUE(std::holds_alternative<DateTime>(v.native));
  EXPECT_EQ(std::get<DateTime>(v.native).hour, 7);
  EXPECT_EQ(OffsetDateTimeValue("0001-01-01 00:00:00.0000000 -14:00").text,
            "0001-01-01 00:00:00 -14:00");
  EXPECT_EQ(OffsetDateTimeValue("not a date").text, "not a date");
}

TEST(OdbcText, Utf16AndUtf8RoundTrip) {
  const std::string samples[] = {"plain", "Grüße", "漢字テスト", "emoji \xF0\x9F\x98\x80 end", ""};
  for (const std::string& s : samples) {
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(s)), s);
  }
  EXPECT_EQ(Utf8ToUtf16("漢"), std::u16string(u"漢"));
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), std::u16string(u"\U0001F600"));
}

TEST(OdbcText, DamagedInputBecomesReplacementCharacters) {
  const std::u16string lone = {u'a', static_cast<char16_t>(0xD800), u'b',
                               static_cast<char16_t>(0xDC00)};
  EXPECT_EQ(Utf16ToUtf8(lone),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
  EXPECT_EQ(Utf8ToUtf16("x\xC3"), std::u16string(u"x\uFFFD"));
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), std::u16string(u"\uFFFD\uFFFD"));  // overlong '/'
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), std::u16string(u"\uFFFD\uFFFD\uFFFD"));
}

TEST(OdbcText, WideTextForTheDriverIsTerminated) {
  const std::vector<SQLWCHAR> wide = Utf8ToWide("a漢");
  ASSERT_EQ(wide.size(), 3u);
  EXPECT_EQ(wide[0], 'a');
  EXPECT_EQ(wide[1], 0x6F22);
  EXPECT_EQ(wide[2], 0);
  EXPECT_EQ(WideToUtf8(wide.data(), 2), "a漢");
}

TEST(OdbcDiagnostics, DriverPrefixesAreRemoved) {
  EXPECT_EQ(StripDriverPrefixes("[FreeTDS][SQL Server]Could not find stored procedure 'x'."),
            "Could not find stored procedure 'x'.");
  EXPECT_EQ(StripDriverPrefixes("[unixODBC][Driver Manager]Data source name not found"),
            "Data source name not found");
  EXPECT_EQ(StripDriverPrefixes(
                "[Microsoft][ODBC Driver 18 for SQL Server][SQL Server]Invalid object name 't'."),
            "Invalid object name 't'.");
  // Brackets inside the server's text are part of it.
  EXPECT_EQ(StripDriverPrefixes("Invalid column name '[x]'."), "Invalid column name '[x]'.");
  EXPECT_EQ(StripDriverPrefixes("[FreeTDS][SQL Server]  spaced  "), "spaced");
  EXPECT_EQ(StripDriverPrefixes("[unterminated"), "[unterminated");
}

TEST(OdbcDiagnostics, FirstErrorDecidesNumberStateAndFirstLine) {
  const std::vector<DiagRecord> records = {
      {"01000", 0, "[FreeTDS][SQL Server]Changed database context to 'master'."},
      {"22001", 8152, "[FreeTDS][SQL Server]String or binary data would be truncated."},
      {"01000", 3621, "[FreeTDS][SQL Server]The statement has been terminated."},
      {"42000", 50000, "[FreeTDS][SQL Server]Second error"},
      {"42000", 50000, "[FreeTDS][SQL Server]Second error"},
      {"08001", 0, "[FreeTDS][SQL Server]Unable to connect to data source"},
  };
  const DatabaseError error = ErrorFromDiagnostics(records, "fallback");
  EXPECT_STREQ(error.what(), "String or binary data would be truncated.\nSecond error");
  EXPECT_EQ(error.number(), 8152);
  EXPECT_EQ(error.state(), "22001");
}

TEST(OdbcDiagnostics, DriverFollowUpsAfterTheFirstErrorAreLeftOut) {
  const DatabaseError login =
      ErrorFromDiagnostics({{"42000", 18456, "[FreeTDS][SQL Server]Login failed for user 'sa'."},
                            {"08001", 0, "[FreeTDS][SQL Server]Unable to connect to data source"}},
                           "x", ErrorContext{true, 15});
  EXPECT_STREQ(login.what(), "Login failed for user 'sa'.");
  EXPECT_EQ(login.number(), 18456);
  const DatabaseError driverFirst =
      ErrorFromDiagnostics({{"HY000", 0, "[FreeTDS][SQL Server]Driver problem"},
                            {"HY000", 0, "[FreeTDS][SQL Server]Follow-up"},
                            {"42000", 102, "[FreeTDS][SQL Server]Incorrect syntax near 'x'."}},
                           "x");
  EXPECT_STREQ(driverFirst.what(), "Driver problem\nIncorrect syntax near 'x'.");
}

TEST(OdbcDiagnostics, OnlyInformationalRecordsAreStillShown) {
  const DatabaseError error =
      ErrorFromDiagnostics({{"01000", 5701, "[FreeTDS][SQL Server]hello"}}, "fallback");
  EXPECT_STREQ(error.what(), "hello");
  EXPECT_EQ(error.number(), 5701);
}

TEST(OdbcDiagnostics, NoRecordsGiveTheFallback) {
  const DatabaseError error = ErrorFromDiagnostics({}, "nothing said");
  EXPECT_STREQ(error.what(), "nothing said");
  EXPECT_EQ(error.number(), 0);
  EXPECT_EQ(error.state(), "");
}

TEST(OdbcDiagnostics, TimeoutAndLostLinkGetAClearLead) {
  const DatabaseError timeout = ErrorFromDiagnostics(
      {{"HYT00", 0, "[FreeTDS][SQL Server]Timeout expired"}}, "x", ErrorContext{false, 15});
  EXPECT_STREQ(timeout.what(), "Query timeout expired after 15 seconds (Timeout expired)");
  EXPECT_EQ(timeout.state(), "HYT00");
  const DatabaseError login = ErrorFromDiagnostics(
      {{"HYT00", 0, "[FreeTDS][SQL Server]Timeout expired"}}, "x", ErrorContext{true, 1});
  EXPECT_STREQ(login.what(), "Login timeout expired after 1 second (Timeout expired)");
  const DatabaseError lost = ErrorFromDiagnostics(
      {{"08S01", 20004, "[FreeTDS][SQL Server]Read from the server failed"}}, "x");
  EXPECT_STREQ(lost.what(), "The connection to the server was lost (Read from the server failed)");
  EXPECT_EQ(lost.state(), "08S01");
  const DatabaseError unreachable = ErrorFromDiagnostics(
      {{"08S01", 20009, "[FreeTDS][SQL Server]Unable to connect: Adaptive Server is unavailable"}},
      "x", ErrorContext{true, 15});
  EXPECT_STREQ(unreachable.what(), "Unable to connect: Adaptive Server is unavailable");
}

TEST(OdbcDiagnostics, ADeadLinkReadsAsLostWhateverTheDriversState) {
  const DatabaseError eof = ErrorFromDiagnostics(
      {{"01000", 20017, "[FreeTDS][SQL Server]Unexpected EOF from the server"}}, "x",
      ErrorContext{false, 15, true});
  EXPECT_STREQ(eof.what(),
               "The connection to the server was lost (Unexpected EOF from the server)");
  EXPECT_EQ(eof.state(), "08S01");
  EXPECT_EQ(eof.number(), 20017);
  const DatabaseError silent =
      ErrorFromDiagnostics({}, "Could not read a row", ErrorContext{false, 15, true});
  EXPECT_STREQ(silent.what(), "The connection to the server was lost (Could not read a row)");
  EXPECT_EQ(silent.state(), "08S01");
}

}  // namespace
}  // namespace quorvane::data::odbc
