#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <span>
#include <string>
#include <string_view>

#include "sqlserver_sim/bytes.h"

// SQL Server column types: their names as written in a scenario, the JSON values a scenario gives
// for them, and their TDS encodings for each protocol version the simulator speaks.
namespace sqlsim {

// Negotiated protocol version. Older clients get the down-level encodings SQL Server uses for
// them: (max) types as text/ntext/image before 7.2, date/time types as nvarchar before 7.3.
enum class Tds : std::uint8_t { V71 = 0x71, V72 = 0x72, V73 = 0x73, V74 = 0x74 };

enum class SqlKind {
  TinyInt,
  SmallInt,
  Int,
  BigInt,
  Bit,
  Float,
  Real,
  Decimal,
  Numeric,
  Money,
  SmallMoney,
  DateTime,
  SmallDateTime,
  DateTime2,
  Date,
  Time,
  UniqueIdentifier,
  Char,
  VarChar,
  Text,
  NChar,
  NVarChar,
  NText,
  Binary,
  VarBinary,
  Image,
  Variant,
};

struct SqlType {
  static constexpr int kMax = -1;

  SqlKind kind = SqlKind::Int;
  int length = 0;     // char/binary types: characters for N-types, bytes otherwise; kMax = (max)
  int precision = 0;  // decimal/numeric
  int scale = 0;      // decimal/numeric digits after the point; time/datetime2 fraction digits

  bool IsMax() const { return length == kMax; }
  bool operator==(const SqlType&) const = default;
};

// "int", "nvarchar(128)", "varchar(max)", "decimal(38,10)", "datetime2(3)", "sysname", ...
// Case-insensitive. Throws std::invalid_argument naming what is wrong.
SqlType ParseSqlType(std::string_view text);
std::string ToString(const SqlType& type);

// The type actually sent to a client speaking `version` (see Tds).
SqlType WireType(const SqlType& type, Tds version);

// An exact value of up to 38 digits, already multiplied by 10^scale.
struct Decimal {
  bool negative = false;
  std::array<std::uint32_t, 4> magnitude{};  // 128-bit, least significant limb first
  bool operator==(const Decimal&) const = default;
};

// Accepts "-123.45", "1e3", ".5"; rounds half away from zero to `scale` digits, like a CAST.
// Throws std::invalid_argument when the value needs more than `precision` digits.
Decimal ParseDecimal(std::string_view text, int precision, int scale);
std::string FormatDecimal(const Decimal& value, int scale);
// Number of bytes of a DECIMALN value (sign byte included) for a precision.
int DecimalWireLength(int precision);

// Days since 0001-01-01 (proleptic Gregorian) and nanoseconds since midnight.
struct DateTimeValue {
  std::int32_t days = 0;
  std::int64_t nanos = 0;
  bool operator==(const DateTimeValue&) const = default;
};

constexpr std::int32_t kDaysTo1900 = 693595;  // 0001-01-01 .. 1900-01-01

std::int32_t DaysFromCivil(int year, int month, int day);
void CivilFromDays(std::int32_t days, int& year, int& month, int& day);

// "yyyy-mm-dd", "yyyy-mm-dd hh:mm[:ss[.fffffffff]]" (a 'T' may replace the blank), or with
// `timeOnly` "hh:mm[:ss[.fffffffff]]". Throws std::invalid_argument.
DateTimeValue ParseDateTime(std::string_view text, bool timeOnly = false);
// "yyyy-mm-dd hh:mm:ss" followed by `fractionDigits` digits, the format SQL Server converts to.
std::string FormatDateTime(const DateTimeValue& value, int fractionDigits);

// DATETIME: days since 1900-01-01 (negative before 1900) and 1/300-second ticks, rounded the
// way SQL Server rounds (.997 -> .997, .999 -> next second). Throws std::out_of_range outside
// 1753-01-01 .. 9999-12-31 23:59:59.997.
struct DateTimeTicks {
  std::int32_t days = 0;
  std::uint32_t ticks = 0;
};
DateTimeTicks ToDateTimeTicks(const DateTimeValue& value);

// SMALLDATETIME: days since 1900-01-01 and minutes, seconds rounded to the minute.
struct SmallDateTimeParts {
  std::uint16_t days = 0;
  std::uint16_t minutes = 0;
};
SmallDateTimeParts ToSmallDateTime(const DateTimeValue& value);

// DATETIME2/TIME: time of day in units of 10^-scale seconds, rounded; a value that rounds up
// to midnight moves to the next day. Returns the time bytes (3-5) followed, when `withDate`,
// by the 3 date bytes.
Bytes EncodeTime(const DateTimeValue& value, int scale, bool withDate);
Bytes EncodeDate(std::int32_t days);

// "8-4-4-4-12" hex text (optionally in braces) to the 16 wire bytes: the first three groups
// are little-endian, the rest as written. Throws std::invalid_argument.
Bytes ParseGuid(std::string_view text);
std::string FormatGuid(std::span<const std::uint8_t> wire);

// "0xABCD" to bytes. Throws std::invalid_argument.
Bytes ParseBinaryLiteral(std::string_view text);

// One cell of a scenario row set, checked against its column type when the scenario loads.
struct Value {
  bool null = true;
  std::int64_t integer = 0;  // integer types, bit; money/smallmoney in units of 1/10000
  double real = 0;
  Decimal decimal;
  DateTimeValue when;
  // Character types: UTF-8 text (char/nchar already padded); binary types and GUIDs: raw bytes.
  std::string bytes;
  // sql_variant only: the base type of this value (null for a NULL variant).
  std::shared_ptr<const SqlType> variantType;
};

// Throws std::invalid_argument describing why `json` is not a `type` value.
Value ParseValue(const SqlType& type, const nlohmann::json& json);

// TYPE_INFO as it appears in COLMETADATA (`inColumnMetadata`: text/ntext/image carry a table
// name there) or in RETURNVALUE/RPC parameters.
void WriteTypeInfo(ByteWriter& out, const SqlType& type, bool nullable, Tds version,
                   bool inColumnMetadata = true);
void WriteValue(ByteWriter& out, const SqlType& type, bool nullable, const Value& value,
                Tds version);

// A (max) value as partially length-prefixed bytes: total length, chunks, zero terminator.
constexpr std::size_t kPlpChunkSize = 8000;
void WritePlp(ByteWriter& out, std::span<const std::uint8_t> data,
              std::size_t chunkSize = kPlpChunkSize);
void WritePlpNull(ByteWriter& out);

// The collation of every character column and of the server:
// SQL_Latin1_General_CP1_CI_AS (LCID 0x0409, sort id 52 -> code page 1252).
inline constexpr std::array<std::uint8_t, 5> kDefaultCollation = {0x09, 0x04, 0xD0, 0x00, 0x34};

}  // namespace sqlsim
