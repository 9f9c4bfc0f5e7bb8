#include "data/odbc/odbc_format.h"

#include "data/utf8.h"

#include <array>
#include <charconv>
#include <cstdio>

namespace quorvane::data::odbc {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

template <typename Out>
void AppendUtf16(Out& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

bool IsHigh(char16_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLow(char16_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

// Reads "hh:mm:ss" and an optional fraction at `pos`; the fraction is kept to milliseconds.
bool ParseTimeOfDay(std::string_view text, std::size_t& pos, DateTime& dt) {
  auto two = [&](int& out) {
    if (pos + 2 > text.size()) return false;
    const char a = text[pos];
    const char b = text[pos + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9') return false;
    out = (a - '0') * 10 + (b - '0');
    pos += 2;
    return true;
  };
  auto colon = [&] {
    if (pos >= text.size() || text[pos] != ':') return false;
    ++pos;
    return true;
  };
  if (!two(dt.hour) || !colon() || !two(dt.minute) || !colon() || !two(dt.second)) return false;
  if (dt.hour > 23 || dt.minute > 59 || dt.second > 59) return false;
  dt.millisecond = 0;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    int scale = 100;
    const std::size_t start = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
      dt.millisecond += (text[pos] - '0') * scale;
      scale /= 10;
      ++pos;
    }
    if (pos == start) return false;
  }
  return true;
}

std::string TimeText(const DateTime& dt) {
  char buffer[32];
  if (dt.millisecond != 0) {
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03d", dt.hour, dt.minute, dt.second,
                  dt.millisecond);
  } else {
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", dt.hour, dt.minute, dt.second);
  }
  return buffer;
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() &&
         (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n')) {
    s.remove_prefix(1);
  }
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) {
    s.remove_suffix(1);
  }
  return s;
}

template <typename Unit>
void AppendUtf16UnitsAsUtf8(std::string& out, const Unit* text, std::size_t size) {
  std::size_t i = 0;
  // Most text the report reads is ASCII: copied through a raw pointer until the first unit
  // that is not.
  const std::size_t start = out.size();
  out.resize(start + size);
  char* ascii = out.data() + start;
  for (; i < size && static_cast<char16_t>(text[i]) < 0x80; ++i) {
    ascii[i] = static_cast<char>(text[i]);
  }
  out.resize(start + i);
  for (; i < size; ++i) {
    const char16_t u = static_cast<char16_t>(text[i]);
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (IsHigh(u) && i + 1 < size && IsLow(static_cast<char16_t>(text[i + 1]))) {
      const char32_t cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) +
                          (static_cast<char32_t>(text[i + 1]) - 0xDC00);
      AppendUtf8(out, cp);
      ++i;
    } else if (IsHigh(u) || IsLow(u)) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, u);
    }
  }
}

template <typename Unit>
std::string Utf16UnitsToUtf8(const Unit* text, std::size_t size) {
  std::string out;
  out.reserve(size + size / 2);
  AppendUtf16UnitsAsUtf8(out, text, size);
  return out;
}

template <typename Out>
Out Utf8ToUtf16Units(std::string_view text) {
  Out out;
  out.reserve(text.size() + 1);
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
      out.push_back(static_cast<char16_t>(b0));
      ++i;
      continue;
    }
    int length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((b0 & 0xE0) == 0xC0) {
      length = 2, cp = b0 & 0x1F, minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
      length = 3, cp = b0 & 0x0F, minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
      length = 4, cp = b0 & 0x07, minimum = 0x10000;
    }
    bool valid = length > 0 && i + static_cast<std::size_t>(length) <= text.size();
    for (int k = 1; valid && k < length; ++k) {
      const auto b = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      if ((b & 0xC0) != 0x80) {
        valid = false;
      } else {
        cp = (cp << 6) | (b & 0x3F);
      }
    }
    if (valid && (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) {
      valid = false;
    }
    if (valid) {
      AppendUtf16(out, cp);
      i += static_cast<std::size_t>(length);
    } else {
      out.push_back(static_cast<char16_t>(kReplacement));
      ++i;
    }
  }
  return out;
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
  return Utf16UnitsToUtf8(text.data(), text.size());
}

std::u16string Utf8ToUtf16(std::string_view text) {
  return Utf8ToUtf16Units<std::u16string>(text);
}

std::string WideToUtf8(const SQLWCHAR* text, std::size_t length) {
  return Utf16UnitsToUtf8(text, length);
}

void AssignWideAsUtf8(std::string& out, const SQLWCHAR* text, std::size_t length) {
  out.clear();
  out.reserve(length);
  AppendUtf16UnitsAsUtf8(out, text, length);
}

std::vector<SQLWCHAR> Utf8ToWide(std::string_view text) {
  auto out = Utf8ToUtf16Units<std::vector<SQLWCHAR>>(text);
  out.push_back(0);
  return out;
}

std::optional<ColumnShape> ShapeForSqlType(SQLSMALLINT sqlType, SQLULEN columnSize) {
  using K = FieldKind;
  using R = ValueReader;
  switch (sqlType) {
    case SQL_VARBINARY:
      // varbinary(max) is described with size 0 and is a long binary, as image is.
      return ColumnShape{columnSize == 0 ? K::ftBlob : K::ftVarBytes, R::kBinary};
    case SQL_BINARY:
      return ColumnShape{K::ftBytes, R::kBinary};
    case SQL_LONGVARBINARY:
      return ColumnShape{K::ftBlob, R::kBinary};
    case SQL_WCHAR:
      return ColumnShape{K::ftFixedWideChar, R::kWideText};
    case SQL_WLONGVARCHAR:
    case kSqlSsXml:
      return ColumnShape{K::ftWideMemo, R::kWideText};
    case SQL_WVARCHAR:
      // nvarchar(max) is described with size 0.
      return ColumnShape{columnSize == 0 ? K::ftWideMemo : K::ftWideString, R::kWideText};
    case SQL_CHAR:
      return ColumnShape{K::ftFixedChar, R::kWideText};
    case SQL_VARCHAR:
      return ColumnShape{K::ftString, R::kWideText};
    case SQL_LONGVARCHAR:
      return ColumnShape{K::ftMemo, R::kWideText};
    case SQL_TINYINT:
      return ColumnShape{K::ftWord, R::kInteger};
    case SQL_SMALLINT:
      return ColumnShape{K::ftSmallint, R::kInteger};
    case SQL_INTEGER:
      return ColumnShape{K::ftInteger, R::kInteger};
    case SQL_BIGINT:
      return ColumnShape{K::ftLargeint, R::kInteger};
    case SQL_BIT:
      return ColumnShape{K::ftBoolean, R::kBit};
    case SQL_REAL:
      return ColumnShape{K::ftFloat, R::kReal};
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return ColumnShape{K::ftFloat, R::kDouble};
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return ColumnShape{K::ftFMTBcd, R::kExactText};
    case SQL_DATETIME:  // also SQL_DATE in ODBC 2
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
      return ColumnShape{K::ftDateTime, R::kTimestamp};
    case SQL_TIME:
    case SQL_TYPE_TIME:
    case kSqlSsTime2:
      return ColumnShape{K::ftDateTime, R::kTimeText};
    case kSqlSsTimestampOffset:
      return ColumnShape{K::ftDateTime, R::kOffsetText};
    case SQL_GUID:
      return ColumnShape{K::ftGuid, R::kGuid};
    case kSqlSsVariant:
      return ColumnShape{K::ftVariant, R::kWideText};
    default:
      return std::nullopt;
  }
}

std::string SqlTypeName(SQLSMALLINT sqlType, SQLULEN columnSize, SQLSMALLINT decimalDigits) {
  const std::string size = std::to_string(columnSize);
  const std::string digits = std::to_string(decimalDigits);
  // (max) types are described with size 0.
  const std::string length = columnSize == 0 ? std::string("max") : size;
  switch (sqlType) {
    case SQL_CHAR:
      return "char(" + size + ")";
    case SQL_VARCHAR:
      return "varchar(" + length + ")";
    case SQL_LONGVARCHAR:
      return "text";
    case SQL_WCHAR:
      return "nchar(" + size + ")";
    case SQL_WVARCHAR:
      return "nvarchar(" + length + ")";
    case SQL_WLONGVARCHAR:
      return "ntext";
    case kSqlSsXml:
      return "xml";
    case SQL_BINARY:
      return "binary(" + size + ")";
    case SQL_VARBINARY:
      return "varbinary(" + length + ")";
    case SQL_LONGVARBINARY:
      return "image";
    case SQL_TINYINT:
      return "tinyint";
    case SQL_SMALLINT:
      return "smallint";
    case SQL_INTEGER:
      return "int";
    case SQL_BIGINT:
      return "bigint";
    case SQL_BIT:
      return "bit";
    case SQL_REAL:
      return "real";
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return "float";
    case SQL_DECIMAL:
      return "decimal(" + size + "," + digits + ")";
    case SQL_NUMERIC:
      return "numeric(" + size + "," + digits + ")";
    case SQL_TYPE_DATE:
      return "date";
    case SQL_DATETIME:
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
      if (columnSize == 16) return "smalldatetime";
      if (columnSize == 23 && decimalDigits == 3) return "datetime";
      return "datetime2(" + digits + ")";
    case SQL_TIME:
    case SQL_TYPE_TIME:
    case kSqlSsTime2:
      return "time(" + digits + ")";
    case kSqlSsTimestampOffset:
      return "datetimeoffset(" + digits + ")";
    case SQL_GUID:
      return "uniqueidentifier";
    case kSqlSsVariant:
      return "sql_variant";
    default:
      return "ODBC type " + std::to_string(sqlType);
  }
}

std::string FormatDouble(double value) {
  std::array<char, 32> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), result.ptr);
}

std::string FormatReal(float value) {
  std::array<char, 32> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), result.ptr);
}

std::string FormatGuid(const SQLGUID& guid) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                static_cast<unsigned>(guid.Data1), static_cast<unsigned>(guid.Data2),
                static_cast<unsigned>(guid.Data3), guid.Data4[0], guid.Data4[1], guid.Data4[2],
                guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return buffer;
}

std::string FormatBinary(std::span<const unsigned char> bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(2 + bytes.size() * 2);
  out += "0x";
  for (unsigned char b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 0x0F];
  }
  return out;
}

DateTime ToDateTime(const SQL_TIMESTAMP_STRUCT& ts) {
  DateTime dt;
  dt.year = ts.year;
  dt.month = ts.month;
  dt.day = ts.day;
  dt.hour = ts.hour;
  dt.minute = ts.minute;
  dt.second = ts.second;
  // The fraction is in nanoseconds; finer digits are cut, never rounded up into the next second.
  dt.millisecond = static_cast<int>(ts.fraction / 1'000'000u);
  return dt;
}

Value TimeOfDayValue(std::string_view driverText) {
  DateTime dt;
  std::size_t pos = 0;
  if (!ParseTimeOfDay(driverText, pos, dt) || pos != driverText.size()) {
    return Value::Text(std::string(driverText));
  }
  return Value{false, TimeText(dt), dt};
}

Value OffsetDateTimeValue(std::string_view driverText) {
  // "yyyy-mm-dd hh:mm:ss[.f...] +hh:mm": the date-time part is the local time at that offset.
  const std::size_t blank = driverText.rfind(' ');
  if (blank == std::string_view::npos || blank + 1 >= driverText.size()) {
    return Value::Text(std::string(driverText));
  }
  const std::string_view offset = driverText.substr(blank + 1);
  const auto dt = DateTime::FromIsoText(driverText.substr(0, blank));
  if (!dt || offset.size() != 6 || (offset[0] != '+' && offset[0] != '-') || offset[3] != ':') {
    return Value::Text(std::string(driverText));
  }
  return Value{false, dt->ToIsoText() + " " + std::string(offset), *dt};
}

std::string StripDriverPrefixes(std::string_view message) {
  std::string_view rest = Trimmed(message);
  while (!rest.empty() && rest.front() == '[') {
    const std::size_t close = rest.find(']');
    if (close == std::string_view::npos) break;
    rest.remove_prefix(close + 1);
  }
  return std::string(Trimmed(rest));
}

bool IsConnectionLost(std::string_view state) {
  return state == "08S01" || state == "08003";
}

bool IsTimeout(std::string_view state) {
  return state == "HYT00" || state == "HYT01";
}

DatabaseError ErrorFromDiagnostics(const std::vector<DiagRecord>& records,
                                   std::string_view fallback, const ErrorContext& context) {
  std::vector<const DiagRecord*> chosen;
  for (const DiagRecord& r : records) {
    if (r.state.rfind("01", 0) != 0) chosen.push_back(&r);
  }
  if (chosen.empty()) {
    for (const DiagRecord& r : records) chosen.push_back(&r);
  }
  const DiagRecord none{"", 0, std::string(fallback)};
  if (chosen.empty()) chosen.push_back(&none);

  const DiagRecord& first = *chosen.front();
  std::vector<std::string> lines;
  for (const DiagRecord* r : chosen) {
    // Later records without a server error number are the driver's own follow-ups ("Unable to
    // connect to data source"): they repeat what the first one said.
    if (r != chosen.front() && r->native == 0) continue;
    std::string text = StripDriverPrefixes(r->message);
    if (text.empty()) continue;
    bool seen = false;
    for (const std::string& line : lines) seen = seen || line == text;
    if (!seen) lines.push_back(std::move(text));
  }
  if (lines.empty()) lines.emplace_back(fallback);

  std::string state = first.state;
  std::string lead;
  if (IsTimeout(first.state)) {
    lead = context.connecting ? "Login timeout expired" : "Query timeout expired";
    if (context.timeoutSeconds > 0) {
      lead += " after " + std::to_string(context.timeoutSeconds) +
              (context.timeoutSeconds == 1 ? " second" : " seconds");
    }
  } else if (context.linkLost || (IsConnectionLost(first.state) && !context.connecting)) {
    // While connecting, 08S01 means the server was never reached; the driver says so itself.
    lead = "The connection to the server was lost";
    if (!IsConnectionLost(state)) state = "08S01";
  }
  if (!lead.empty()) {
    const std::string& detail = lines.front();
    lines.front() = lead + " (" + detail + ")";
  }

  std::string message;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) message += '\n';
    message += lines[i];
  }
  return DatabaseError(message, first.native, state, first.detail);
}

}  // namespace quorvane::data::odbc
