// Encoders and decoders whose bugs would not show up as a failed connection but as a wrong
// value in a report.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "sqlserver_sim/bytes.h"
#include "sqlserver_sim/login.h"
#include "sqlserver_sim/packets.h"
#include "sqlserver_sim/rpc.h"
#include "sqlserver_sim/text.h"
#include "sqlserver_sim/tokens.h"
#include "sqlserver_sim/types.h"
#include "tds_test_util.h"

namespace sqlsim {
namespace {

using testing::BuildLogin7;

Bytes B(std::initializer_list<int> values) {
  Bytes out;
  for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

// ---- LOGIN7 ---------------------------------------------------------------------------------

TEST(Login7Password, DecodesHandComputedBytes) {
  // 's' = 0x73 0x00 -> nibbles swapped 0x37 0x00 -> XOR 0xA5 -> 0x92 0xA5; 'a' -> 0xB3 0xA5.
  EXPECT_EQ(DecodePassword(B({0x92, 0xA5, 0xB3, 0xA5})), "sa");
  // U+00E9 = 0xE9 0x00 -> 0x9E 0x00 -> 0x3B 0xA5.
  EXPECT_EQ(DecodePassword(B({0x3B, 0xA5})), "\xC3\xA9");
}

TEST(Login7Password, EncodeIsTheInverseForAwkwardPasswords) {
  for (const std::string pw : {"", "secret", "p;w={d}\"x", "  blanks  ", "\xE4\xB8\xAD\xE6\x96\x87",
                               "\xF0\x9F\x98\x80 emoji"}) {
    EXPECT_EQ(DecodePassword(EncodePassword(pw)), pw);
  }
  EXPECT_EQ(EncodePassword("sa"), B({0x92, 0xA5, 0xB3, 0xA5}));
}

TEST(Login7, ParsesUserPasswordDatabaseAndVersion) {
  const auto parsed = ParseLogin7(BuildLogin7("sa", "p;w={d}\"x", "tempdb"));
  EXPECT_EQ(parsed.userName, "sa");
  EXPECT_EQ(parsed.password, "p;w={d}\"x");
  EXPECT_EQ(parsed.database, "tempdb");
  EXPECT_EQ(parsed.hostName, "host");
  EXPECT_EQ(parsed.appName, "app");
  EXPECT_EQ(parsed.tdsVersion, 0x74000004u);
  EXPECT_EQ(parsed.packetSize, 4096u);
  EXPECT_FALSE(parsed.IntegratedSecurity());
}

TEST(Login7, FlagsIntegratedSecurity) {
  EXPECT_TRUE(ParseLogin7(BuildLogin7("", "", "", 0x74000004, 0x80)).IntegratedSecurity());
}

TEST(Login7, RejectsFieldsOutsideTheMessage) {
  Bytes login = BuildLogin7("sa", "secret", "master");
  login.resize(100);  // cut into the variable part
  login[0] = 100;
  login[1] = login[2] = login[3] = 0;
  EXPECT_THROW(ParseLogin7(login), ProtocolError);
  EXPECT_THROW(ParseLogin7(B({1, 2, 3})), ProtocolError);
}

TEST(Prelogin, AnswersEncryptionNotSupportedAndTheVersion) {
  const Bytes reply = BuildPreloginResponse({15, 0, 0x07, 0xD0}, 5);
  const auto options = ParsePrelogin(reply);
  ASSERT_EQ(options.count(kPreloginEncryption), 1u);
  EXPECT_EQ(options.at(kPreloginEncryption), B({kEncryptNotSupported}));
  EXPECT_EQ(options.at(kPreloginVersion), B({15, 0, 0x07, 0xD0, 0, 5}));
  EXPECT_EQ(options.at(kPreloginMars), B({0}));
  EXPECT_THROW(ParsePrelogin(B({0x00, 0x00, 0x40, 0x00, 0x06, 0xFF})), ProtocolError);
}

// ---- text -----------------------------------------------------------------------------------

TEST(Utf16, ConvertsBmpCjkAndSurrogatePairs) {
  EXPECT_EQ(Utf8ToUtf16("A\xE2\x82\xAC"), (std::u16string{u'A', char16_t(0x20AC)}));
  EXPECT_EQ(Utf8ToUtf16("\xE4\xB8\xAD\xE6\x96\x87"),
            (std::u16string{char16_t(0x4E2D), char16_t(0x6587)}));
  // U+1F600 needs a surrogate pair; U+20BB7 is a CJK extension B ideograph.
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), (std::u16string{char16_t(0xD83D), char16_t(0xDE00)}));
  EXPECT_EQ(Utf8ToUtf16("\xF0\xA0\xAE\xB7"), (std::u16string{char16_t(0xD842), char16_t(0xDFB7)}));
  for (const std::string s :
       {"plain", "\xE4\xB8\xAD\xE6\x96\x87", "\xF0\x9F\x98\x80\xF0\xA0\xAE\xB7",
        "mixed \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"}) {
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(s)), s);
  }
}

TEST(Utf16, ReplacesMalformedInput) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b"),
            (std::u16string{u'a', char16_t(0xFFFD), u'b'}));
  EXPECT_EQ(Utf8ToUtf16("\xC3"), std::u16string(1, char16_t(0xFFFD)));              // truncated
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), (std::u16string(2, char16_t(0xFFFD))));        // overlong
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80").front(), char16_t(0xFFFD));                 // surrogate
  EXPECT_EQ(Utf16ToUtf8(std::u16string{char16_t(0xD800), u'x'}), "\xEF\xBF\xBDx");  // lone high
  EXPECT_EQ(Utf16ToUtf8(std::u16string{char16_t(0xDC00)}), "\xEF\xBF\xBD");
}

TEST(Utf16, LittleEndianBytes) {
  EXPECT_EQ(Utf16ToLe(u"A\u4E2D"), B({0x41, 0x00, 0x2D, 0x4E}));
  EXPECT_EQ(Utf16FromLe(B({0x41, 0x00, 0x2D, 0x4E, 0x99})), u"A\u4E2D");
}

TEST(Cp1252, MapsTheWindowsRangeAndReplacesTheRest) {
  EXPECT_EQ(Utf8ToCp1252("\xE2\x82\xAC\xC3\xA9\xE2\x80\x9C"), "\x80\xE9\x93");
  EXPECT_EQ(Utf8ToCp1252("\xE4\xB8\xAD"), "?");
  EXPECT_EQ(Cp1252ToUtf8("\x80\xE9\x93"), "\xE2\x82\xAC\xC3\xA9\xE2\x80\x9C");
}

// ---- decimals -------------------------------------------------------------------------------

TEST(Decimal, ThirtyEightDigitsAreExact) {
  const Decimal d = ParseDecimal("12345678901234567890123456789012345678", 38, 0);
  EXPECT_FALSE(d.negative);
  EXPECT_EQ(d.magnitude,
            (std::array<std::uint32_t, 4>{0xde38f34e, 0xc4499050, 0xf0023313, 0x0949b0f6}));
  EXPECT_EQ(FormatDecimal(d, 0), "12345678901234567890123456789012345678");
  const Decimal scaled = ParseDecimal("-1234567890123456789012345678.9012345678", 38, 10);
  EXPECT_TRUE(scaled.negative);
  EXPECT_EQ(scaled.magnitude, d.magnitude);
  EXPECT_EQ(FormatDecimal(scaled, 10), "-1234567890123456789012345678.9012345678");
  EXPECT_EQ(FormatDecimal(ParseDecimal("99999999999999999999999999999999999999", 38, 0), 0),
            "99999999999999999999999999999999999999");
}

TEST(Decimal, ScalesAndRoundsHalfAwayFromZero) {
  EXPECT_EQ(FormatDecimal(ParseDecimal("1.005", 10, 2), 2), "1.01");
  EXPECT_EQ(FormatDecimal(ParseDecimal("-1.005", 10, 2), 2), "-1.01");
  EXPECT_EQ(FormatDecimal(ParseDecimal("1.004", 10, 2), 2), "1.00");
  EXPECT_EQ(FormatDecimal(ParseDecimal("7", 10, 3), 3), "7.000");
  EXPECT_EQ(FormatDecimal(ParseDecimal(".5", 10, 1), 1), "0.5");
  EXPECT_EQ(FormatDecimal(ParseDecimal("1.5e3", 10, 0), 0), "1500");
  EXPECT_EQ(FormatDecimal(ParseDecimal("25E-2", 10, 2), 2), "0.25");
  EXPECT_EQ(FormatDecimal(ParseDecimal("-0.000", 10, 2), 2), "0.00");  // no negative zero
  EXPECT_EQ(FormatDecimal(ParseDecimal("9.995", 4, 2), 2), "10.00");
}

TEST(Decimal, RejectsWhatDoesNotFit) {
  EXPECT_THROW(ParseDecimal("999.995", 5, 2), std::invalid_argument);  // rounds to 1000.00
  EXPECT_THROW(ParseDecimal("123456789012345678901234567890123456789", 38, 0),
               std::invalid_argument);
  EXPECT_THROW(ParseDecimal("100", 4, 2), std::invalid_argument);
  EXPECT_THROW(ParseDecimal("12a", 10, 0), std::invalid_argument);
  EXPECT_THROW(ParseDecimal("", 10, 0), std::invalid_argument);
  EXPECT_THROW(ParseDecimal("1.2.3", 10, 0), std::invalid_argument);
}

TEST(Decimal, WireValueIsSignThenLittleEndianMagnitude) {
  const SqlType t = ParseSqlType("decimal(38,0)");
  ByteWriter info;
  WriteTypeInfo(info, t, true, Tds::V74);
  EXPECT_EQ(info.Data(), B({0x6A, 17, 38, 0}));
  ByteWriter w;
  WriteValue(w, t, true, ParseValue(t, "12345678901234567890123456789012345678"), Tds::V74);
  EXPECT_EQ(w.Data(),
            B({17, 1, 78, 243, 56, 222, 80, 144, 73, 196, 19, 51, 2, 240, 246, 176, 73, 9}));
  const SqlType small = ParseSqlType("numeric(9,2)");
  ByteWriter n;
  WriteValue(n, small, true, ParseValue(small, -1.5), Tds::V74);
  EXPECT_EQ(n.Data(), B({5, 0, 150, 0, 0, 0}));  // -150 in hundredths
}

TEST(Money, ScalesByTenThousandHighHalfFirst) {
  const SqlType t = ParseSqlType("money");
  ByteWriter w;
  // 922337203685477.5807 is the largest money; 2^63-1 = 0x7FFFFFFF FFFFFFFF.
  WriteValue(w, t, true, ParseValue(t, "922337203685477.5807"), Tds::V74);
  EXPECT_EQ(w.Data(), B({8, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF}));
  ByteWriter one;
  WriteValue(one, t, true, ParseValue(t, "1.0001"), Tds::V74);  // 10001 = 0x2711
  EXPECT_EQ(one.Data(), B({8, 0, 0, 0, 0, 0x11, 0x27, 0, 0}));
  EXPECT_THROW(ParseValue(t, "922337203685477.5808"), std::invalid_argument);
}

// ---- dates and times ------------------------------------------------------------------------

TEST(DateTime, DaysSince1900IncludingEarlierDates) {
  EXPECT_EQ(ToDateTimeTicks(ParseDateTime("1900-01-01")).days, 0);
  EXPECT_EQ(ToDateTimeTicks(ParseDateTime("1899-12-31 00:00:00")).days, -1);
  EXPECT_EQ(ToDateTimeTicks(ParseDateTime("1753-01-01")).days, -53690);
  EXPECT_EQ(ToDateTimeTicks(ParseDateTime("2023-06-15")).days, 45090);
  EXPECT_THROW(ToDateTimeTicks(ParseDateTime("1752-12-31")), std::out_of_range);
}

TEST(DateTime, TicksAreThreeHundredthsOfASecondRounded) {
  EXPECT_EQ(ToDateTimeTicks(ParseDateTime("2000-01-01 12:00:00")).ticks, 12960000u);
  EXPECT_EQ(ToDateTimeTicks(ParseDateTime("2000-01-01 00:00:00.003")).ticks, 1u);
  EXPECT_EQ(ToDateTimeTicks(ParseDateTime("2000-01-01 00:00:00.007")).ticks, 2u);
  EXPECT_EQ(ToDateTimeTicks(ParseDateTime("2000-01-01 00:00:00.997")).ticks, 299u);
  const DateTimeTicks carried = ToDateTimeTicks(ParseDateTime("2000-01-01 23:59:59.999"));
  EXPECT_EQ(carried.days, ToDateTimeTicks(ParseDateTime("2000-01-02")).days);
  EXPECT_EQ(carried.ticks, 0u);
}

TEST(DateTime, WireValueIsSignedDaysThenTicks) {
  const SqlType t = ParseSqlType("datetime");
  ByteWriter w;
  WriteValue(w, t, true, ParseValue(t, "1899-12-31 00:00:01"), Tds::V74);
  EXPECT_EQ(w.Data(), B({8, 0xFF, 0xFF, 0xFF, 0xFF, 0x2C, 0x01, 0, 0}));  // -1 day, 300 ticks
  ByteWriter fixed;
  WriteValue(fixed, t, false, ParseValue(t, "1900-01-02"), Tds::V74);
  EXPECT_EQ(fixed.Data(), B({1, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(DateTime, ParsingRejectsImpossibleDates) {
  EXPECT_THROW(ParseDateTime("2023-02-29"), std::invalid_argument);
  EXPECT_NO_THROW(ParseDateTime("2024-02-29"));
  EXPECT_THROW(ParseDateTime("2023-13-01"), std::invalid_argument);
  EXPECT_THROW(ParseDateTime("2023-01-01 24:00:00"), std::invalid_argument);
  EXPECT_THROW(ParseDateTime("01/02/2023"), std::invalid_argument);
  EXPECT_THROW(ParseDateTime("2023-01-01 10:00:00.1234567890"), std::invalid_argument);
  EXPECT_EQ(ParseDateTime("2023-01-01T10:00").nanos, 36'000'000'000'000LL);
}

TEST(SmallDateTime, RoundsToTheMinute) {
  EXPECT_EQ(ToSmallDateTime(ParseDateTime("1900-01-01 00:00:29.998")).minutes, 0);
  EXPECT_EQ(ToSmallDateTime(ParseDateTime("1900-01-01 00:00:29.999")).minutes, 1);
  EXPECT_EQ(ToSmallDateTime(ParseDateTime("2000-01-01 23:59:30")).minutes, 0);
  EXPECT_THROW(ToSmallDateTime(ParseDateTime("1899-12-31")), std::out_of_range);
}

TEST(DateAndDateTime2, DaysSinceYearOneAndScaledTime) {
  EXPECT_EQ(EncodeDate(ParseDateTime("0001-01-01").days), B({0, 0, 0}));
  EXPECT_EQ(ParseDateTime("2024-02-29").days, 738944);
  EXPECT_EQ(EncodeDate(738944), B({0x80, 0x46, 0x0B}));
  EXPECT_EQ(ParseDateTime("9999-12-31").days, 3652058);
  EXPECT_EQ(ParseDateTime("1900-01-01").days, kDaysTo1900);

  const DateTimeValue v = ParseDateTime("2024-02-29 12:34:56.1234567");
  EXPECT_EQ(EncodeTime(v, 7, false), B({135, 238, 151, 118, 105}));  // 452961234567 units of 100 ns
  EXPECT_EQ(EncodeTime(v, 7, true), B({135, 238, 151, 118, 105, 0x80, 0x46, 0x0B}));
  EXPECT_EQ(EncodeTime(v, 3, false).size(), 4u);
  EXPECT_EQ(EncodeTime(v, 0, false), B({0xF0, 0xB0, 0x00}));  // 45296 s, .12 rounded away
  // .9999999 rounded to scale 0 carries into the next day.
  EXPECT_EQ(EncodeTime(ParseDateTime("2024-02-28 23:59:59.9"), 0, true),
            B({0, 0, 0, 0x80, 0x46, 0x0B}));
  EXPECT_THROW(EncodeTime(ParseDateTime("9999-12-31 23:59:59.99"), 1, true), std::out_of_range);
}

TEST(DateAndDateTime2, OlderClientsGetText) {
  const SqlType dt2 = ParseSqlType("datetime2(3)");
  EXPECT_EQ(WireType(dt2, Tds::V72), (SqlType{SqlKind::NVarChar, 23, 0, 0}));
  ByteWriter w;
  WriteValue(w, dt2, true, ParseValue(dt2, "2024-02-29 12:34:56.1239"), Tds::V72);
  const std::u16string text = u"2024-02-29 12:34:56.124";
  ByteWriter expected;
  expected.U16(static_cast<std::uint16_t>(text.size() * 2));
  expected.Utf16(text);
  EXPECT_EQ(w.Data(), expected.Data());
}

// ---- GUIDs, binary, strings -------------------------------------------------------------------

TEST(Guid, FirstThreeGroupsAreLittleEndian) {
  const Bytes wire = ParseGuid("6F9619FF-8B86-D011-B42D-00C04FC964FF");
  EXPECT_EQ(wire, B({0xFF, 0x19, 0x96, 0x6F, 0x86, 0x8B, 0x11, 0xD0, 0xB4, 0x2D, 0x00, 0xC0, 0x4F,
                     0xC9, 0x64, 0xFF}));
  EXPECT_EQ(FormatGuid(wire), "6F9619FF-8B86-D011-B42D-00C04FC964FF");
  EXPECT_EQ(ParseGuid("{6f9619ff-8b86-d011-b42d-00c04fc964ff}"), wire);
  EXPECT_THROW(ParseGuid("6F9619FF8B86D011B42D00C04FC964FF"), std::invalid_argument);
  EXPECT_THROW(ParseGuid("6F9619FF-8B86-D011-B42D-00C04FC964FG"), std::invalid_argument);
}

TEST(Binary, HexLiterals) {
  EXPECT_EQ(ParseBinaryLiteral("0xABcd01"), B({0xAB, 0xCD, 0x01}));
  EXPECT_EQ(ParseBinaryLiteral("0x"), Bytes{});
  EXPECT_THROW(ParseBinaryLiteral("ABCD"), std::invalid_argument);
  EXPECT_THROW(ParseBinaryLiteral("0xABC"), std::invalid_argument);
  const SqlType t = ParseSqlType("binary(4)");
  EXPECT_EQ(ParseValue(t, "0x01").bytes, std::string("\x01\0\0\0", 4));  // padded like SQL Server
}

TEST(Strings, LengthsAreCheckedInTheColumnsUnits) {
  const SqlType nv = ParseSqlType("nvarchar(2)");
  EXPECT_NO_THROW(ParseValue(nv, "\xE4\xB8\xAD\xE6\x96\x87"));               // 2 UTF-16 units
  EXPECT_THROW(ParseValue(nv, "\xF0\x9F\x98\x80x"), std::invalid_argument);  // 3 units
  const SqlType vc = ParseSqlType("varchar(1)");
  EXPECT_NO_THROW(ParseValue(vc, "\xE2\x82\xAC"));  // one byte in code page 1252
  EXPECT_EQ(ParseValue(ParseSqlType("nchar(3)"), "a").bytes, "a  ");
}

TEST(Strings, VarcharIsCodePage1252OnTheWire) {
  const SqlType t = ParseSqlType("varchar(10)");
  ByteWriter w;
  WriteValue(w, t, true,
             ParseValue(t,
                        "\xE2\x82\xAC"
                        "1"),
             Tds::V74);
  EXPECT_EQ(w.Data(), B({2, 0, 0x80, '1'}));
  ByteWriter info;
  WriteTypeInfo(info, t, true, Tds::V74);
  EXPECT_EQ(info.Data(), B({0xA7, 10, 0, 0x09, 0x04, 0xD0, 0x00, 0x34}));
}

// ---- PLP ------------------------------------------------------------------------------------

TEST(Plp, SplitsIntoChunksAndTerminates) {
  Bytes data(20000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  ByteWriter w;
  WritePlp(w, data, 8000);
  ByteReader r(w.Data());
  EXPECT_EQ(r.U64(), 20000u);
  Bytes joined;
  std::vector<std::uint32_t> chunks;
  while (true) {
    const std::uint32_t n = r.U32();
    if (n == 0) break;
    chunks.push_back(n);
    auto part = r.Take(n);
    joined.insert(joined.end(), part.begin(), part.end());
  }
  EXPECT_TRUE(r.AtEnd());
  EXPECT_EQ(chunks, (std::vector<std::uint32_t>{8000, 8000, 4000}));
  EXPECT_EQ(joined, data);
}

TEST(Plp, EmptyAndNull) {
  ByteWriter empty;
  WritePlp(empty, {}, 8000);
  EXPECT_EQ(empty.Data(), B({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  const SqlType t = ParseSqlType("nvarchar(max)");
  ByteWriter null;
  WriteValue(null, t, true, ParseValue(t, nullptr), Tds::V74);
  EXPECT_EQ(null.Data(), B({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  ByteWriter info;
  WriteTypeInfo(info, t, true, Tds::V74);
  EXPECT_EQ(info.Data(), B({0xE7, 0xFF, 0xFF, 0x09, 0x04, 0xD0, 0x00, 0x34}));
}

TEST(Plp, MaxTypesBecomeTextTypesBeforeTds72) {
  EXPECT_EQ(WireType(ParseSqlType("nvarchar(max)"), Tds::V71).kind, SqlKind::NText);
  EXPECT_EQ(WireType(ParseSqlType("varchar(max)"), Tds::V71).kind, SqlKind::Text);
  EXPECT_EQ(WireType(ParseSqlType("varbinary(max)"), Tds::V71).kind, SqlKind::Image);
  const SqlType t = ParseSqlType("nvarchar(max)");
  ByteWriter w;
  WriteValue(w, t, true, ParseValue(t, "ab"), Tds::V71);
  ByteReader r(w.Data());
  EXPECT_EQ(r.U8(), 16);  // text pointer length
  r.Skip(16 + 8);
  EXPECT_EQ(r.U32(), 4u);
  EXPECT_EQ(r.Utf16(2), u"ab");
}

// ---- packets --------------------------------------------------------------------------------

TEST(Packets, SplitsAtThePacketSizeAndReassembles) {
  Bytes payload(10000);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i);
  std::uint8_t id = 1;
  const Bytes wire = FramePackets(kTabularResult, payload, 4096, 53, id);
  ASSERT_EQ(wire.size(), payload.size() + 3 * kPacketHeaderSize);
  EXPECT_EQ(id, 4);

  MessageAssembler assembler;
  std::size_t offset = 0;
  std::vector<std::uint16_t> lengths;
  std::optional<Message> message;
  while (offset < wire.size()) {
    const PacketHeader h = DecodePacketHeader(
        std::span<const std::uint8_t, kPacketHeaderSize>(wire.data() + offset, kPacketHeaderSize));
    lengths.push_back(h.length);
    EXPECT_EQ(h.spid, 53);
    EXPECT_EQ(h.type, kTabularResult);
    const bool last = offset + h.length == wire.size();
    EXPECT_EQ((h.status & kEndOfMessage) != 0, last);
    EXPECT_FALSE(message.has_value());
    message = assembler.Add(h, std::span<const std::uint8_t>(wire).subspan(
                                   offset + kPacketHeaderSize, h.length - kPacketHeaderSize));
    offset += h.length;
  }
  EXPECT_EQ(lengths, (std::vector<std::uint16_t>{4096, 4096, 10000 - 2 * 4088 + 8}));
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->payload, payload);
}

TEST(Packets, PartialResponsesCarryNoEndOfMessage) {
  std::uint8_t id = 1;
  const Bytes wire = FramePackets(kTabularResult, B({1, 2, 3}), 512, 0, id, false);
  EXPECT_EQ(wire[1], 0);
  const Bytes empty = FramePackets(kTabularResult, {}, 512, 0, id, true);
  EXPECT_EQ(empty, B({kTabularResult, kEndOfMessage, 0, 8, 0, 0, 2, 0}));
}

TEST(Packets, AssemblerRejectsMixedTypesAndHonoursIgnore) {
  MessageAssembler assembler;
  PacketHeader h{kSqlBatch, 0, 10, 0, 1, 0};
  EXPECT_FALSE(assembler.Add(h, B({1, 2})).has_value());
  PacketHeader other{kRpc, kEndOfMessage, 10, 0, 2, 0};
  EXPECT_THROW(assembler.Add(other, B({1, 2})), ProtocolError);

  MessageAssembler ignoring;
  EXPECT_FALSE(ignoring.Add(h, B({1, 2})).has_value());
  PacketHeader abandon{kSqlBatch, kEndOfMessage | kIgnoreMessage, 8, 0, 2, 0};
  auto m = ignoring.Add(abandon, {});
  ASSERT_TRUE(m.has_value());
  EXPECT_NE(m->status & kIgnoreMessage, 0);
  EXPECT_TRUE(m->payload.empty());

  const std::uint8_t tooShort[8] = {1, 1, 0, 4, 0, 0, 1, 0};
  EXPECT_THROW(DecodePacketHeader(tooShort), ProtocolError);
}

// ---- tokens ---------------------------------------------------------------------------------

TEST(Tokens, NbcRowMarksNullsInABitmapFrom73On) {
  const std::vector<Column> columns = {{"a", ParseSqlType("int"), true},
                                       {"b", ParseSqlType("nvarchar(5)"), true},
                                       {"c", ParseSqlType("int"), true}};
  const std::vector<Value> row = {ParseValue(columns[0].type, nullptr),
                                  ParseValue(columns[1].type, "x"),
                                  ParseValue(columns[2].type, nullptr)};
  ByteWriter nbc;
  WriteRow(nbc, columns, row, Tds::V74);
  EXPECT_EQ(nbc.Data(), B({kTokenNbcRow, 0x05, 2, 0, 'x', 0}));
  ByteWriter plain;
  WriteRow(plain, columns, row, Tds::V72);
  EXPECT_EQ(plain.Data(), B({kTokenRow, 0, 2, 0, 'x', 0, 0}));
}

TEST(Tokens, VersionDependentWidths) {
  ByteWriter d74;
  WriteDone(d74, kTokenDone, kDoneCount, kCmdSelect, 3, Tds::V74);
  EXPECT_EQ(d74.Data(), B({0xFD, 0x10, 0, 0xC1, 0, 3, 0, 0, 0, 0, 0, 0, 0}));
  ByteWriter d71;
  WriteDone(d71, kTokenDone, kDoneCount, kCmdSelect, 3, Tds::V71);
  EXPECT_EQ(d71.Data(), B({0xFD, 0x10, 0, 0xC1, 0, 3, 0, 0, 0}));

  const std::vector<Column> columns = {{"n", ParseSqlType("int"), false}};
  ByteWriter m71;
  WriteColMetadata(m71, columns, Tds::V71);
  EXPECT_EQ(m71.Data(), B({0x81, 1, 0, 0, 0, 0, 0, 0x38, 1, 'n', 0}));  // USHORT user type
  ByteWriter m74;
  WriteColMetadata(m74, columns, Tds::V74);
  EXPECT_EQ(m74.Data(), B({0x81, 1, 0, 0, 0, 0, 0, 0, 0, 0x38, 1, 'n', 0}));

  ByteWriter msg;
  WriteMessage(msg, true, ServerMessage{18456, 1, 14, "x", "", 1}, "S", Tds::V74);
  EXPECT_EQ(msg.Data(),
            B({0xAA, 18, 0, 0x18, 0x48, 0, 0, 1, 14, 1, 0, 'x', 0, 1, 'S', 0, 0, 1, 0, 0, 0}));
}

TEST(Tokens, LoginAckCarriesTheVersionBigEndian) {
  ByteWriter w;
  WriteLoginAck(w, Tds::V74, "P", {15, 0, 7, 208});
  EXPECT_EQ(w.Data(), B({0xAD, 12, 0, 1, 0x74, 0, 0, 4, 1, 'P', 0, 15, 0, 7, 208}));
}

TEST(Variant, BaseTypeAndPropertiesPrecedeTheValue) {
  const SqlType t = ParseSqlType("sql_variant");
  ByteWriter w;
  WriteValue(w, t, true, ParseValue(t, nlohmann::json{{"type", "nvarchar(128)"}, {"value", "ab"}}),
             Tds::V74);
  EXPECT_EQ(w.Data(),
            B({13, 0, 0, 0, 0xE7, 7, 0x09, 0x04, 0xD0, 0x00, 0x34, 0, 1, 'a', 0, 'b', 0}));
  ByteWriter i;
  WriteValue(i, t, true, ParseValue(t, 5), Tds::V74);
  EXPECT_EQ(i.Data(), B({6, 0, 0, 0, 0x38, 0, 5, 0, 0, 0}));
  ByteWriter null;
  WriteValue(null, t, true, ParseValue(t, nullptr), Tds::V74);
  EXPECT_EQ(null.Data(), B({0, 0, 0, 0}));
}

// ---- type names and RPC decoding ------------------------------------------------------------

TEST(TypeNames, ParseAndPrint) {
  EXPECT_EQ(ToString(ParseSqlType(" NVarChar( MAX ) ")), "nvarchar(max)");
  EXPECT_EQ(ToString(ParseSqlType("decimal")), "decimal(18,0)");
  EXPECT_EQ(ToString(ParseSqlType("numeric(38, 10)")), "numeric(38,10)");
  EXPECT_EQ(ToString(ParseSqlType("datetime2")), "datetime2(7)");
  EXPECT_EQ(ToString(ParseSqlType("sysname")), "nvarchar(128)");
  EXPECT_EQ(ParseSqlType("float(24)").kind, SqlKind::Real);
  for (const char* bad : {"nvarchar", "char(max)", "nvarchar(4001)", "decimal(39,0)",
                          "decimal(5,6)", "datetime2(8)", "int(4)", "integer(", "blob"}) {
    EXPECT_THROW(ParseSqlType(bad), std::invalid_argument) << bad;
  }
}

TEST(Rpc, DecodesPrepExecAsFreeTdsSendsIt) {
  ByteWriter w;
  w.U32(22);  // ALL_HEADERS: transaction descriptor header
  w.U32(18);
  w.U16(2);
  w.U64(0);
  w.U32(1);
  w.U16(0xFFFF);
  w.U16(kProcPrepExec);
  w.U16(0);
  // @handle int OUTPUT = NULL
  w.U8(0);
  w.U8(1);
  w.U8(0x26);
  w.U8(4);
  w.U8(0);
  // @params nvarchar(4000) = N''
  w.U8(0);
  w.U8(0);
  w.U8(0xE7);
  w.U16(8000);
  w.Append(kDefaultCollation);
  w.U16(0);
  // @stmt nvarchar(max) = N'select 1'
  w.U8(0);
  w.U8(0);
  w.U8(0xE7);
  w.U16(0xFFFF);
  w.Append(kDefaultCollation);
  WritePlp(w, Utf16ToLe(u"select 1"), 6);
  // a bigint parameter
  w.BVarchar(u"@P1");
  w.U8(0);
  w.U8(0x26);
  w.U8(8);
  w.U8(8);
  w.U64(static_cast<std::uint64_t>(-5));
  const auto calls = ParseRpc(w.Data(), Tds::V74);
  ASSERT_EQ(calls.size(), 1u);
  const RpcCall& c = calls[0];
  EXPECT_EQ(c.Name(), "sp_prepexec");
  ASSERT_EQ(c.params.size(), 4u);
  EXPECT_TRUE(c.params[0].IsOutput());
  EXPECT_TRUE(c.params[0].null);
  EXPECT_EQ(c.params[1].text, "");
  EXPECT_FALSE(c.params[1].null);
  EXPECT_EQ(c.params[2].text, "select 1");
  EXPECT_EQ(c.params[3].integer, -5);
  EXPECT_EQ(CallText(c), "exec sp_prepexec NULL output, N'', N'select 1', @P1=-5");
}

TEST(Rpc, RejectsTruncatedCalls) {
  ByteWriter w;
  w.U32(4);
  w.U16(4);
  w.Utf16(u"sp_x");
  w.U16(0);
  w.U8(0);
  w.U8(0);
  w.U8(0xE7);
  w.U16(20);
  EXPECT_THROW(ParseRpc(w.Data(), Tds::V74), ProtocolError);
}

}  // namespace
}  // namespace sqlsim
