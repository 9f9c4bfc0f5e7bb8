#include "sqlserver_sim/types.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "sqlserver_sim/text.h"

namespace sqlsim {
namespace {

using std::invalid_argument;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool ParseInt(std::string_view s, int& out) {
  s = Trim(s);
  if (s.empty()) return false;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && ptr == s.data() + s.size();
}

// Everything in a type name after the base name: "(n)", "(p,s)", "(max)" or nothing.
std::vector<std::string> TypeArguments(std::string_view rest, std::string_view full) {
  rest = Trim(rest);
  if (rest.empty()) return {};
  if (rest.front() != '(' || rest.back() != ')') {
    throw invalid_argument("cannot read type '" + std::string(full) + "'");
  }
  rest = rest.substr(1, rest.size() - 2);
  std::vector<std::string> args;
  std::size_t start = 0;
  while (true) {
    std::size_t comma = rest.find(',', start);
    args.emplace_back(Trim(rest.substr(start, comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return args;
}

bool IsCharacter(SqlKind k) {
  return k == SqlKind::Char || k == SqlKind::VarChar || k == SqlKind::Text || k == SqlKind::NChar ||
         k == SqlKind::NVarChar || k == SqlKind::NText;
}

bool IsUnicode(SqlKind k) {
  return k == SqlKind::NChar || k == SqlKind::NVarChar || k == SqlKind::NText;
}

bool IsBinary(SqlKind k) {
  return k == SqlKind::Binary || k == SqlKind::VarBinary || k == SqlKind::Image;
}

// ---- 128-bit magnitude helpers for DECIMAL/NUMERIC ------------------------------------------

void MulAdd(std::array<std::uint32_t, 4>& m, std::uint32_t mul, std::uint32_t add) {
  std::uint64_t carry = add;
  for (auto& limb : m) {
    const std::uint64_t v = static_cast<std::uint64_t>(limb) * mul + carry;
    limb = static_cast<std::uint32_t>(v);
    carry = v >> 32;
  }
  if (carry != 0) throw std::overflow_error("decimal magnitude overflow");
}

std::uint32_t DivMod(std::array<std::uint32_t, 4>& m, std::uint32_t div) {
  std::uint64_t rem = 0;
  for (int i = 3; i >= 0; --i) {
    const std::uint64_t cur = (rem << 32) | m[static_cast<std::size_t>(i)];
    m[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(cur / div);
    rem = cur % div;
  }
  return static_cast<std::uint32_t>(rem);
}

bool IsZero(const std::array<std::uint32_t, 4>& m) {
  return std::all_of(m.begin(), m.end(), [](std::uint32_t v) { return v == 0; });
}

// JSON numbers lose their original spelling; the shortest round-trip form is the closest.
std::string NumberText(const nlohmann::json& j) {
  if (j.is_number_unsigned()) return std::to_string(j.get<std::uint64_t>());
  if (j.is_number_integer()) return std::to_string(j.get<std::int64_t>());
  char buf[64];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, j.get<double>());
  if (ec != std::errc()) throw invalid_argument("unprintable number");
  return std::string(buf, ptr);
}

std::string Describe(const nlohmann::json& j) {
  std::string s = j.dump();
  if (s.size() > 60) s = s.substr(0, 57) + "...";
  return s;
}

std::int64_t ParseInteger(const nlohmann::json& j, std::int64_t min, std::int64_t max,
                          const SqlType& type) {
  std::int64_t v = 0;
  if (j.is_number_unsigned()) {
    const auto u = j.get<std::uint64_t>();
    if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      throw invalid_argument(Describe(j) + " is out of range for " + ToString(type));
    }
    v = static_cast<std::int64_t>(u);
  } else if (j.is_number_integer()) {
    v = j.get<std::int64_t>();
  } else if (j.is_string()) {
    // bigint values beyond 2^53 survive only as strings in most JSON tools.
    const auto& s = j.get_ref<const std::string&>();
    auto t = Trim(s);
    auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (ec != std::errc() || ptr != t.data() + t.size() || t.empty()) {
      throw invalid_argument(Describe(j) + " is not an integer (" + ToString(type) + ")");
    }
  } else {
    throw invalid_argument(Describe(j) + " is not an integer (" + ToString(type) + ")");
  }
  if (v < min || v > max) {
    throw invalid_argument(Describe(j) + " is out of range for " + ToString(type));
  }
  return v;
}

std::int64_t DecimalToInt64(const Decimal& d, std::int64_t min, std::int64_t max,
                            const std::string& what) {
  const auto& m = d.magnitude;
  if (m[2] != 0 || m[3] != 0) throw invalid_argument(what + " is out of range");
  const std::uint64_t mag = (static_cast<std::uint64_t>(m[1]) << 32) | m[0];
  if (!d.negative) {
    if (mag > static_cast<std::uint64_t>(max)) throw invalid_argument(what + " is out of range");
    return static_cast<std::int64_t>(mag);
  }
  if (mag > static_cast<std::uint64_t>(max) + 1 ||
      static_cast<std::int64_t>(0) - static_cast<std::int64_t>(mag - 1) - 1 < min) {
    throw invalid_argument(what + " is out of range");
  }
  return -static_cast<std::int64_t>(mag - 1) - 1;
}

int TimeByteLength(int scale) {
  return scale <= 2 ? 3 : (scale <= 4 ? 4 : 5);
}

std::int64_t Pow10(int n) {
  std::int64_t v = 1;
  while (n-- > 0) v *= 10;
  return v;
}

constexpr std::int64_t kNanosPerDay = 86'400'000'000'000LL;
constexpr std::int32_t kMaxDays = 3'652'058;  // 9999-12-31

}  // namespace

// ---- type names --------------------------------------------------------------------------

SqlType ParseSqlType(std::string_view text) {
  const std::string full = Lower(Trim(text));
  std::size_t nameEnd = full.find('(');
  const std::string name(Trim(std::string_view(full).substr(0, nameEnd)));
  const auto args = TypeArguments(
      nameEnd == std::string::npos ? std::string_view() : std::string_view(full).substr(nameEnd),
      text);

  struct Simple {
    const char* name;
    SqlKind kind;
  };
  static constexpr Simple kSimple[] = {
      {"tinyint", SqlKind::TinyInt},
      {"smallint", SqlKind::SmallInt},
      {"int", SqlKind::Int},
      {"integer", SqlKind::Int},
      {"bigint", SqlKind::BigInt},
      {"bit", SqlKind::Bit},
      {"real", SqlKind::Real},
      {"money", SqlKind::Money},
      {"smallmoney", SqlKind::SmallMoney},
      {"datetime", SqlKind::DateTime},
      {"smalldatetime", SqlKind::SmallDateTime},
      {"date", SqlKind::Date},
      {"uniqueidentifier", SqlKind::UniqueIdentifier},
      {"text", SqlKind::Text},
      {"ntext", SqlKind::NText},
      {"image", SqlKind::Image},
      {"sql_variant", SqlKind::Variant},
  };
  auto noArgs = [&](SqlType t) {
    if (!args.empty()) throw invalid_argument("type '" + std::string(text) + "' takes no length");
    return t;
  };
  for (const auto& s : kSimple) {
    if (name == s.name) return noArgs(SqlType{s.kind, 0, 0, 0});
  }
  if (name == "sysname") return noArgs(SqlType{SqlKind::NVarChar, 128, 0, 0});
  if (name == "float") {
    // float(n): 1-24 is a real, 25-53 a float, as in T-SQL.
    if (args.empty()) return SqlType{SqlKind::Float, 0, 0, 0};
    int n = 0;
    if (args.size() != 1 || !ParseInt(args[0], n) || n < 1 || n > 53) {
      throw invalid_argument("float takes a mantissa size 1-53, got '" + std::string(text) + "'");
    }
    return SqlType{n <= 24 ? SqlKind::Real : SqlKind::Float, 0, 0, 0};
  }
  if (name == "decimal" || name == "numeric" || name == "dec") {
    int p = 18;
    int s = 0;
    if (args.size() > 2 || (!args.empty() && !ParseInt(args[0], p)) ||
        (args.size() == 2 && !ParseInt(args[1], s))) {
      throw invalid_argument("cannot read type '" + std::string(text) + "'");
    }
    if (p < 1 || p > 38)
      throw invalid_argument("precision of '" + std::string(text) + "' must be 1-38");
    if (s < 0 || s > p)
      throw invalid_argument("scale of '" + std::string(text) + "' must be 0-precision");
    return SqlType{name == "numeric" ? SqlKind::Numeric : SqlKind::Decimal, 0, p, s};
  }
  if (name == "datetime2" || name == "time") {
    int s = 7;
    if (args.size() > 1 || (args.size() == 1 && !ParseInt(args[0], s)) || s < 0 || s > 7) {
      throw invalid_argument("fraction digits of '" + std::string(text) + "' must be 0-7");
    }
    return SqlType{name == "time" ? SqlKind::Time : SqlKind::DateTime2, 0, 0, s};
  }

  struct Sized {
    const char* name;
    SqlKind kind;
    int limit;  // largest n
    bool allowsMax;
  };
  static constexpr Sized kSized[] = {
      {"char", SqlKind::Char, 8000, false},     {"varchar", SqlKind::VarChar, 8000, true},
      {"nchar", SqlKind::NChar, 4000, false},   {"nvarchar", SqlKind::NVarChar, 4000, true},
      {"binary", SqlKind::Binary, 8000, false}, {"varbinary", SqlKind::VarBinary, 8000, true},
  };
  for (const auto& s : kSized) {
    if (name != s.name) continue;
    if (args.size() != 1) {
      throw invalid_argument(
          "type '" + std::string(text) + "' needs a length, e.g. " + s.name +
          (s.allowsMax ? "(50) or " + std::string(s.name) + "(max)" : std::string("(10)")));
    }
    if (args[0] == "max") {
      if (!s.allowsMax) throw invalid_argument(std::string(s.name) + "(max) does not exist");
      return SqlType{s.kind, SqlType::kMax, 0, 0};
    }
    int n = 0;
    if (!ParseInt(args[0], n) || n < 1 || n > s.limit) {
      throw invalid_argument("length of '" + std::string(text) + "' must be 1-" +
                             std::to_string(s.limit) + (s.allowsMax ? " or max" : ""));
    }
    return SqlType{s.kind, n, 0, 0};
  }
  throw invalid_argument("unknown SQL type '" + std::string(text) + "'");
}

std::string ToString(const SqlType& t) {
  auto sized = [&](const char* name) {
    return std::string(name) + "(" + (t.IsMax() ? std::string("max") : std::to_string(t.length)) +
           ")";
  };
  switch (t.kind) {
    case SqlKind::TinyInt:
      return "tinyint";
    case SqlKind::SmallInt:
      return "smallint";
    case SqlKind::Int:
      return "int";
    case SqlKind::BigInt:
      return "bigint";
    case SqlKind::Bit:
      return "bit";
    case SqlKind::Float:
      return "float";
    case SqlKind::Real:
      return "real";
    case SqlKind::Decimal:
      return "decimal(" + std::to_string(t.precision) + "," + std::to_string(t.scale) + ")";
    case SqlKind::Numeric:
      return "numeric(" + std::to_string(t.precision) + "," + std::to_string(t.scale) + ")";
    case SqlKind::Money:
      return "money";
    case SqlKind::SmallMoney:
      return "smallmoney";
    case SqlKind::DateTime:
      return "datetime";
    case SqlKind::SmallDateTime:
      return "smalldatetime";
    case SqlKind::DateTime2:
      return "datetime2(" + std::to_string(t.scale) + ")";
    case SqlKind::Date:
      return "date";
    case SqlKind::Time:
      return "time(" + std::to_string(t.scale) + ")";
    case SqlKind::UniqueIdentifier:
      return "uniqueidentifier";
    case SqlKind::Char:
      return sized("char");
    case SqlKind::VarChar:
      return sized("varchar");
    case SqlKind::Text:
      return "text";
    case SqlKind::NChar:
      return sized("nchar");
    case SqlKind::NVarChar:
      return sized("nvarchar");
    case SqlKind::NText:
      return "ntext";
    case SqlKind::Binary:
      return sized("binary");
    case SqlKind::VarBinary:
      return sized("varbinary");
    case SqlKind::Image:
      return "image";
    case SqlKind::Variant:
      return "sql_variant";
  }
  return "?";
}

SqlType WireType(const SqlType& t, Tds version) {
  if (version < Tds::V72 && t.IsMax()) {
    switch (t.kind) {
      case SqlKind::VarChar:
        return SqlType{SqlKind::Text, 0, 0, 0};
      case SqlKind::NVarChar:
        return SqlType{SqlKind::NText, 0, 0, 0};
      case SqlKind::VarBinary:
        return SqlType{SqlKind::Image, 0, 0, 0};
      default:
        break;
    }
  }
  if (version < Tds::V73) {
    const int fraction = t.scale == 0 ? 0 : t.scale + 1;
    switch (t.kind) {
      case SqlKind::Date:
        return SqlType{SqlKind::NVarChar, 10, 0, 0};
      case SqlKind::Time:
        return SqlType{SqlKind::NVarChar, 8 + fraction, 0, 0};
      case SqlKind::DateTime2:
        return SqlType{SqlKind::NVarChar, 19 + fraction, 0, 0};
      default:
        break;
    }
  }
  return t;
}

// ---- decimals ------------------------------------------------------------------------------

Decimal ParseDecimal(std::string_view text, int precision, int scale) {
  const std::string original(text);
  auto bad = [&]() { return invalid_argument("'" + original + "' is not a number"); };
  std::string_view s = Trim(text);
  Decimal out;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    out.negative = s.front() == '-';
    s.remove_prefix(1);
  }
  std::string digits;
  long long pointPos = -1;  // digits before the decimal point
  std::size_t i = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c >= '0' && c <= '9') {
      digits.push_back(c);
    } else if (c == '.' && pointPos < 0) {
      pointPos = static_cast<long long>(digits.size());
    } else {
      break;
    }
  }
  if (digits.empty()) throw bad();
  if (pointPos < 0) pointPos = static_cast<long long>(digits.size());
  if (i < s.size()) {
    if (s[i] != 'e' && s[i] != 'E') throw bad();
    int exponent = 0;
    auto rest = s.substr(i + 1);
    if (!rest.empty() && rest.front() == '+') rest.remove_prefix(1);
    auto [ptr, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), exponent);
    if (ec != std::errc() || ptr != rest.data() + rest.size() || rest.empty()) throw bad();
    if (exponent > 100 || exponent < -100) {
      throw invalid_argument("'" + original + "' is out of range for decimal");
    }
    pointPos += exponent;
  }
  // Align to `scale` fraction digits.
  const long long fraction = static_cast<long long>(digits.size()) - pointPos;
  if (fraction < scale) {
    digits.append(static_cast<std::size_t>(scale - fraction), '0');
  } else if (fraction > scale) {
    const std::size_t keep =
        static_cast<std::size_t>(static_cast<long long>(digits.size()) - (fraction - scale));
    const bool roundUp = keep < digits.size() && digits[keep] >= '5';
    digits.resize(keep);
    if (roundUp) {
      std::size_t k = digits.size();
      while (k > 0 && digits[k - 1] == '9') digits[--k] = '0';
      if (k == 0) {
        digits.insert(digits.begin(), '1');
      } else {
        ++digits[k - 1];
      }
    }
  }
  if (pointPos < 0 && digits.empty()) digits = "0";
  const auto firstNonZero = digits.find_first_not_of('0');
  const std::string significant =
      firstNonZero == std::string::npos ? std::string() : digits.substr(firstNonZero);
  if (significant.size() > static_cast<std::size_t>(precision)) {
    throw invalid_argument("'" + original + "' does not fit decimal(" + std::to_string(precision) +
                           "," + std::to_string(scale) + ")");
  }
  for (char c : significant) MulAdd(out.magnitude, 10, static_cast<std::uint32_t>(c - '0'));
  if (IsZero(out.magnitude)) out.negative = false;
  return out;
}

std::string FormatDecimal(const Decimal& value, int scale) {
  auto m = value.magnitude;
  std::string digits;
  do {
    digits.push_back(static_cast<char>('0' + DivMod(m, 10)));
  } while (!IsZero(m));
  while (digits.size() <= static_cast<std::size_t>(scale)) digits.push_back('0');
  std::reverse(digits.begin(), digits.end());
  if (scale > 0) digits.insert(digits.end() - scale, '.');
  if (value.negative) digits.insert(digits.begin(), '-');
  return digits;
}

int DecimalWireLength(int precision) {
  if (precision <= 9) return 5;
  if (precision <= 19) return 9;
  if (precision <= 28) return 13;
  return 17;
}

// ---- dates and times ------------------------------------------------------------------------

std::int32_t DaysFromCivil(int year, int month, int day) {
  // Howard Hinnant's days_from_civil, rebased from 1970-01-01 to 0001-01-01.
  long long y = year - (month <= 2 ? 1 : 0);
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153LL * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long long since1970 = era * 146097 + doe - 719468;
  return static_cast<std::int32_t>(since1970 + 719162);
}

void CivilFromDays(std::int32_t days, int& year, int& month, int& day) {
  long long z = static_cast<long long>(days) - 719162 + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

DateTimeValue ParseDateTime(std::string_view text, bool timeOnly) {
  const std::string original(text);
  auto bad = [&](const std::string& why) {
    return invalid_argument("'" + original + "' is not a valid " +
                            (timeOnly ? std::string("time (hh:mm:ss[.fffffff])")
                                      : std::string("date/time (yyyy-mm-dd[ hh:mm:ss[.fff]])")) +
                            (why.empty() ? "" : ": " + why));
  };
  std::string_view s = Trim(text);
  std::size_t pos = 0;
  auto number = [&](std::size_t minDigits, std::size_t maxDigits) {
    std::size_t start = pos;
    int v = 0;
    while (pos < s.size() && pos - start < maxDigits && s[pos] >= '0' && s[pos] <= '9') {
      v = v * 10 + (s[pos] - '0');
      ++pos;
    }
    if (pos - start < minDigits) throw bad("");
    return v;
  };
  auto expect = [&](char c) {
    if (pos >= s.size() || s[pos] != c) throw bad("");
    ++pos;
  };
  DateTimeValue out;
  if (!timeOnly) {
    const int year = number(4, 4);
    expect('-');
    const int month = number(1, 2);
    expect('-');
    const int day = number(1, 2);
    if (year < 1 || month < 1 || month > 12 || day < 1) throw bad("no such date");
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > kDays[month - 1] + (month == 2 && leap ? 1 : 0)) throw bad("no such date");
    out.days = DaysFromCivil(year, month, day);
    if (pos == s.size()) return out;
    if (s[pos] != ' ' && s[pos] != 'T') throw bad("");
    ++pos;
  }
  const int hour = number(1, 2);
  expect(':');
  const int minute = number(2, 2);
  int second = 0;
  std::int64_t fractionNanos = 0;
  if (pos < s.size() && s[pos] == ':') {
    ++pos;
    second = number(2, 2);
    if (pos < s.size() && s[pos] == '.') {
      ++pos;
      std::size_t start = pos;
      std::int64_t scaleDown = 100'000'000;
      while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
        if (pos - start >= 9) throw bad("more than 9 fraction digits");
        fractionNanos += (s[pos] - '0') * scaleDown;
        scaleDown /= 10;
        ++pos;
      }
      if (pos == start) throw bad("");
    }
  }
  if (pos != s.size()) throw bad("");
  if (hour > 23 || minute > 59 || second > 59) throw bad("no such time");
  out.nanos = ((hour * 60LL + minute) * 60 + second) * 1'000'000'000LL + fractionNanos;
  return out;
}

std::string FormatDateTime(const DateTimeValue& value, int fractionDigits) {
  int y = 0;
  int m = 0;
  int d = 0;
  CivilFromDays(value.days, y, m, d);
  const std::int64_t secs = value.nanos / 1'000'000'000;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, m, d,
                static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
                static_cast<int>(secs % 60));
  std::string out = buf;
  if (fractionDigits > 0) {
    std::snprintf(buf, sizeof buf, "%09lld", static_cast<long long>(value.nanos % 1'000'000'000));
    out += ".";
    out.append(buf, static_cast<std::size_t>(std::min(fractionDigits, 9)));
  }
  return out;
}

DateTimeTicks ToDateTimeTicks(const DateTimeValue& value) {
  // 1/300 s = 10/3 ms; round the nanoseconds to the nearest tick.
  std::int64_t ticks = (value.nanos * 3 + 5'000'000) / 10'000'000;
  std::int32_t days = value.days;
  if (ticks >= 300LL * 86400) {
    ticks -= 300LL * 86400;
    ++days;
  }
  if (days < DaysFromCivil(1753, 1, 1) || days > kMaxDays) {
    throw std::out_of_range("datetime values run from 1753-01-01 to 9999-12-31 23:59:59.997");
  }
  return DateTimeTicks{days - kDaysTo1900, static_cast<std::uint32_t>(ticks)};
}

SmallDateTimeParts ToSmallDateTime(const DateTimeValue& value) {
  // SQL Server rounds 29.998 s down and 29.999 s up.
  const std::int64_t millis = (value.nanos + 500'000) / 1'000'000;
  std::int64_t minutes = millis / 60'000 + (millis % 60'000 >= 29'999 ? 1 : 0);
  std::int32_t days = value.days;
  if (minutes >= 1440) {
    minutes -= 1440;
    ++days;
  }
  if (days < kDaysTo1900 || days > DaysFromCivil(2079, 6, 6)) {
    throw std::out_of_range("smalldatetime values run from 1900-01-01 to 2079-06-06 23:59");
  }
  return SmallDateTimeParts{static_cast<std::uint16_t>(days - kDaysTo1900),
                            static_cast<std::uint16_t>(minutes)};
}

Bytes EncodeDate(std::int32_t days) {
  return Bytes{static_cast<std::uint8_t>(days), static_cast<std::uint8_t>(days >> 8),
               static_cast<std::uint8_t>(days >> 16)};
}

Bytes EncodeTime(const DateTimeValue& value, int scale, bool withDate) {
  const std::int64_t unit = Pow10(9 - scale);  // nanoseconds per unit
  std::int64_t units = (value.nanos + unit / 2) / unit;
  std::int32_t days = value.days;
  if (units >= kNanosPerDay / unit) {
    units -= kNanosPerDay / unit;
    ++days;
    if (withDate && days > kMaxDays) {
      throw std::out_of_range("date/time rounds beyond 9999-12-31");
    }
  }
  Bytes out;
  const int length = TimeByteLength(scale);
  for (int i = 0; i < length; ++i) {
    out.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(units) >> (8 * i)));
  }
  if (withDate) {
    const Bytes date = EncodeDate(days);
    out.insert(out.end(), date.begin(), date.end());
  }
  return out;
}

// ---- GUIDs and binary -----------------------------------------------------------------------

Bytes ParseGuid(std::string_view text) {
  std::string_view s = Trim(text);
  if (s.size() == 38 && s.front() == '{' && s.back() == '}') s = s.substr(1, 36);
  auto bad = [&]() {
    return invalid_argument("'" + std::string(text) +
                            "' is not a GUID (xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx)");
  };
  if (s.size() != 36 || s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-') throw bad();
  Bytes text16;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) continue;
    if (!std::isxdigit(static_cast<unsigned char>(s[i])) ||
        !std::isxdigit(static_cast<unsigned char>(s[i + 1]))) {
      throw bad();
    }
    text16.push_back(
        static_cast<std::uint8_t>(std::stoi(std::string(s.substr(i, 2)), nullptr, 16)));
    ++i;
  }
  // Data1 (4 bytes), Data2 and Data3 (2 bytes each) are little-endian integers on the wire.
  return Bytes{text16[3],  text16[2],  text16[1],  text16[0], text16[5],  text16[4],
               text16[7],  text16[6],  text16[8],  text16[9], text16[10], text16[11],
               text16[12], text16[13], text16[14], text16[15]};
}

std::string FormatGuid(std::span<const std::uint8_t> w) {
  if (w.size() != 16) throw invalid_argument("a GUID has 16 bytes");
  const std::uint8_t order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::string out;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
    const std::uint8_t b = w[order[i]];
    out += ToHex(std::span<const std::uint8_t>(&b, 1));
  }
  return out;
}

Bytes ParseBinaryLiteral(std::string_view text) {
  std::string_view s = Trim(text);
  if (s.size() < 2 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) {
    throw invalid_argument("'" + std::string(text) + "' is not a binary literal like 0xABCD");
  }
  s.remove_prefix(2);
  if (s.size() % 2 != 0) {
    throw invalid_argument("binary literal '" + std::string(text) +
                           "' has an odd number of digits");
  }
  Bytes out;
  for (std::size_t i = 0; i < s.size(); i += 2) {
    if (!std::isxdigit(static_cast<unsigned char>(s[i])) ||
        !std::isxdigit(static_cast<unsigned char>(s[i + 1]))) {
      throw invalid_argument("'" + std::string(text) + "' is not a binary literal like 0xABCD");
    }
    out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(s.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

// ---- scenario values ------------------------------------------------------------------------

namespace {

std::string NumericText(const nlohmann::json& j, const SqlType& type) {
  if (j.is_number()) return NumberText(j);
  if (j.is_string()) return j.get<std::string>();
  throw invalid_argument(Describe(j) + " is not a number (" + ToString(type) + ")");
}

const std::string& StringOf(const nlohmann::json& j, const SqlType& type) {
  if (!j.is_string()) {
    throw invalid_argument(Describe(j) + " is not a string (" + ToString(type) + ")");
  }
  return j.get_ref<const std::string&>();
}

// Picks a base type for a bare JSON value in a sql_variant column.
SqlType VariantBaseFor(const nlohmann::json& j) {
  if (j.is_boolean()) return SqlType{SqlKind::Bit, 0, 0, 0};
  if (j.is_number_integer() || j.is_number_unsigned()) {
    if (j.is_number_unsigned() &&
        j.get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) {
      return SqlType{SqlKind::BigInt, 0, 0, 0};
    }
    const auto v = j.get<std::int64_t>();
    const bool small = v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max();
    return SqlType{small ? SqlKind::Int : SqlKind::BigInt, 0, 0, 0};
  }
  if (j.is_number_float()) return SqlType{SqlKind::Float, 0, 0, 0};
  if (j.is_string()) return SqlType{SqlKind::NVarChar, 4000, 0, 0};
  throw invalid_argument(Describe(j) +
                         " cannot be a sql_variant; give {\"type\": ..., \"value\": ...}");
}

}  // namespace

Value ParseValue(const SqlType& type, const nlohmann::json& j) {
  Value v;
  if (j.is_null()) return v;
  v.null = false;
  switch (type.kind) {
    case SqlKind::TinyInt:
      v.integer = ParseInteger(j, 0, 255, type);
      break;
    case SqlKind::SmallInt:
      v.integer = ParseInteger(j, -32768, 32767, type);
      break;
    case SqlKind::Int:
      v.integer = ParseInteger(j, std::numeric_limits<std::int32_t>::min(),
                               std::numeric_limits<std::int32_t>::max(), type);
      break;
    case SqlKind::BigInt:
      v.integer = ParseInteger(j, std::numeric_limits<std::int64_t>::min(),
                               std::numeric_limits<std::int64_t>::max(), type);
      break;
    case SqlKind::Bit:
      if (j.is_boolean()) {
        v.integer = j.get<bool>() ? 1 : 0;
      } else {
        v.integer = ParseInteger(j, 0, 1, type);
      }
      break;
    case SqlKind::Float:
    case SqlKind::Real: {
      if (j.is_number()) {
        v.real = j.get<double>();
      } else if (j.is_string()) {
        const auto t = Trim(j.get_ref<const std::string&>());
        auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v.real);
        if (ec != std::errc() || ptr != t.data() + t.size() || t.empty()) {
          throw invalid_argument(Describe(j) + " is not a number (" + ToString(type) + ")");
        }
      } else {
        throw invalid_argument(Describe(j) + " is not a number (" + ToString(type) + ")");
      }
      if (!std::isfinite(v.real) ||
          (type.kind == SqlKind::Real &&
           std::fabs(v.real) > static_cast<double>(std::numeric_limits<float>::max()))) {
        throw invalid_argument(Describe(j) + " is out of range for " + ToString(type));
      }
      break;
    }
    case SqlKind::Decimal:
    case SqlKind::Numeric:
      v.decimal = ParseDecimal(NumericText(j, type), type.precision, type.scale);
      break;
    case SqlKind::Money:
    case SqlKind::SmallMoney: {
      const Decimal d = ParseDecimal(NumericText(j, type), 19, 4);
      if (type.kind == SqlKind::Money) {
        v.integer =
            DecimalToInt64(d, std::numeric_limits<std::int64_t>::min(),
                           std::numeric_limits<std::int64_t>::max(), Describe(j) + " (money)");
      } else {
        v.integer =
            DecimalToInt64(d, std::numeric_limits<std::int32_t>::min(),
                           std::numeric_limits<std::int32_t>::max(), Describe(j) + " (smallmoney)");
      }
      break;
    }
    case SqlKind::DateTime:
    case SqlKind::SmallDateTime:
    case SqlKind::DateTime2:
    case SqlKind::Date:
    case SqlKind::Time: {
      v.when = ParseDateTime(StringOf(j, type), type.kind == SqlKind::Time);
      // Range errors belong to loading, not to the first client that reads the row.
      try {
        if (type.kind == SqlKind::DateTime) ToDateTimeTicks(v.when);
        if (type.kind == SqlKind::SmallDateTime) ToSmallDateTime(v.when);
        if (type.kind == SqlKind::DateTime2) EncodeTime(v.when, type.scale, true);
      } catch (const std::out_of_range& e) {
        throw invalid_argument(Describe(j) + ": " + e.what());
      }
      if (type.kind == SqlKind::Date && v.when.nanos != 0) {
        throw invalid_argument(Describe(j) + " has a time part but the column is a date");
      }
      break;
    }
    case SqlKind::UniqueIdentifier: {
      const Bytes b = ParseGuid(StringOf(j, type));
      v.bytes.assign(b.begin(), b.end());
      break;
    }
    case SqlKind::Char:
    case SqlKind::VarChar:
    case SqlKind::Text: {
      v.bytes = StringOf(j, type);
      const std::size_t len = Utf8ToCp1252(v.bytes).size();
      if (type.length > 0 && len > static_cast<std::size_t>(type.length)) {
        throw invalid_argument(Describe(j) + " is longer than " + ToString(type));
      }
      if (type.kind == SqlKind::Char) {
        v.bytes.append(static_cast<std::size_t>(type.length) - len, ' ');
      }
      break;
    }
    case SqlKind::NChar:
    case SqlKind::NVarChar:
    case SqlKind::NText: {
      v.bytes = StringOf(j, type);
      const std::size_t len = Utf8ToUtf16(v.bytes).size();
      if (type.length > 0 && len > static_cast<std::size_t>(type.length)) {
        throw invalid_argument(Describe(j) + " is longer than " + ToString(type) +
                               " (lengths count UTF-16 code units)");
      }
      if (type.kind == SqlKind::NChar) {
        v.bytes.append(static_cast<std::size_t>(type.length) - len, ' ');
      }
      break;
    }
    case SqlKind::Binary:
    case SqlKind::VarBinary:
    case SqlKind::Image: {
      const Bytes b = ParseBinaryLiteral(StringOf(j, type));
      if (type.length > 0 && b.size() > static_cast<std::size_t>(type.length)) {
        throw invalid_argument(Describe(j) + " is longer than " + ToString(type));
      }
      v.bytes.assign(b.begin(), b.end());
      if (type.kind == SqlKind::Binary) {
        v.bytes.append(static_cast<std::size_t>(type.length) - b.size(), '\0');
      }
      break;
    }
    case SqlKind::Variant: {
      SqlType base;
      const nlohmann::json* inner = &j;
      if (j.is_object()) {
        if (!j.contains("type") || !j["type"].is_string() || !j.contains("value")) {
          throw invalid_argument("a sql_variant object needs \"type\" and \"value\"");
        }
        base = ParseSqlType(j["type"].get<std::string>());
        inner = &j["value"];
        if (base.kind == SqlKind::Variant || base.IsMax() || base.kind == SqlKind::Text ||
            base.kind == SqlKind::NText || base.kind == SqlKind::Image) {
          throw invalid_argument(ToString(base) + " cannot be stored in a sql_variant");
        }
      } else {
        base = VariantBaseFor(j);
      }
      Value innerValue = ParseValue(base, *inner);
      if (innerValue.null) return Value{};
      innerValue.variantType = std::make_shared<const SqlType>(base);
      return innerValue;
    }
  }
  return v;
}

// ---- encoders -------------------------------------------------------------------------------

namespace {

void WriteCollation(ByteWriter& out) {
  out.Append(kDefaultCollation);
}

void WriteIntLe(ByteWriter& out, std::int64_t v, int size) {
  for (int i = 0; i < size; ++i) {
    out.U8(static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (8 * i)));
  }
}

int FixedSize(SqlKind k) {
  switch (k) {
    case SqlKind::TinyInt:
    case SqlKind::Bit:
      return 1;
    case SqlKind::SmallInt:
      return 2;
    case SqlKind::Int:
    case SqlKind::Real:
    case SqlKind::SmallMoney:
    case SqlKind::SmallDateTime:
      return 4;
    case SqlKind::BigInt:
    case SqlKind::Float:
    case SqlKind::Money:
    case SqlKind::DateTime:
      return 8;
    default:
      return 0;
  }
}

// Type bytes for a non-nullable column and for the nullable "N" variant.
struct FixedCodes {
  std::uint8_t fixed;
  std::uint8_t nullable;
};

FixedCodes CodesOf(SqlKind k) {
  switch (k) {
    case SqlKind::TinyInt:
      return {0x30, 0x26};
    case SqlKind::SmallInt:
      return {0x34, 0x26};
    case SqlKind::Int:
      return {0x38, 0x26};
    case SqlKind::BigInt:
      return {0x7F, 0x26};
    case SqlKind::Bit:
      return {0x32, 0x68};
    case SqlKind::Float:
      return {0x3E, 0x6D};
    case SqlKind::Real:
      return {0x3B, 0x6D};
    case SqlKind::Money:
      return {0x3C, 0x6E};
    case SqlKind::SmallMoney:
      return {0x7A, 0x6E};
    case SqlKind::DateTime:
      return {0x3D, 0x6F};
    case SqlKind::SmallDateTime:
      return {0x3A, 0x6F};
    default:
      return {0, 0};
  }
}

// The value bytes of a fixed-size type, without a length prefix.
void WriteFixedData(ByteWriter& out, SqlKind k, const Value& v) {
  switch (k) {
    case SqlKind::TinyInt:
    case SqlKind::Bit:
    case SqlKind::SmallInt:
    case SqlKind::Int:
    case SqlKind::BigInt:
      WriteIntLe(out, v.integer, FixedSize(k));
      break;
    case SqlKind::Float:
      out.U64(std::bit_cast<std::uint64_t>(v.real));
      break;
    case SqlKind::Real:
      out.U32(std::bit_cast<std::uint32_t>(static_cast<float>(v.real)));
      break;
    case SqlKind::Money:
      // Two halves, most significant first, each little-endian.
      out.I32(static_cast<std::int32_t>(v.integer >> 32));
      out.U32(static_cast<std::uint32_t>(v.integer));
      break;
    case SqlKind::SmallMoney:
      out.I32(static_cast<std::int32_t>(v.integer));
      break;
    case SqlKind::DateTime: {
      const DateTimeTicks t = ToDateTimeTicks(v.when);
      out.I32(t.days);
      out.U32(t.ticks);
      break;
    }
    case SqlKind::SmallDateTime: {
      const SmallDateTimeParts p = ToSmallDateTime(v.when);
      out.U16(p.days);
      out.U16(p.minutes);
      break;
    }
    default:
      throw std::logic_error("not a fixed-size type");
  }
}

void WriteDecimalData(ByteWriter& out, const Value& v, int length) {
  out.U8(v.decimal.negative ? 0 : 1);
  for (int i = 0; i < length - 1; ++i) {
    out.U8(static_cast<std::uint8_t>(v.decimal.magnitude[static_cast<std::size_t>(i / 4)] >>
                                     (8 * (i % 4))));
  }
}

std::string ValueText(const SqlType& declared, const Value& v) {
  if (declared.kind == SqlKind::Date) return FormatDateTime(v.when, 0).substr(0, 10);
  // Round first so the text agrees with what a 7.3 client would receive.
  const Bytes wire = EncodeTime(v.when, declared.scale, true);
  std::uint64_t units = 0;
  const int tl = TimeByteLength(declared.scale);
  for (int i = tl - 1; i >= 0; --i) units = (units << 8) | wire[static_cast<std::size_t>(i)];
  const std::int32_t days = wire[static_cast<std::size_t>(tl)] |
                            (wire[static_cast<std::size_t>(tl) + 1] << 8) |
                            (wire[static_cast<std::size_t>(tl) + 2] << 16);
  const DateTimeValue rounded{days, static_cast<std::int64_t>(units) * Pow10(9 - declared.scale)};
  const std::string full = FormatDateTime(rounded, declared.scale);
  return declared.kind == SqlKind::Time ? full.substr(11) : full;
}

Bytes CharacterBytes(SqlKind kind, const std::string& utf8) {
  if (IsUnicode(kind)) return Utf16ToLe(Utf8ToUtf16(utf8));
  const std::string cp = Utf8ToCp1252(utf8);
  return Bytes(cp.begin(), cp.end());
}

void WriteVariant(ByteWriter& out, const Value& v, Tds version) {
  if (v.null || !v.variantType) {
    out.U32(0);
    return;
  }
  const SqlType base = WireType(*v.variantType, version);
  ByteWriter body;
  switch (base.kind) {
    case SqlKind::TinyInt:
    case SqlKind::SmallInt:
    case SqlKind::Int:
    case SqlKind::BigInt:
    case SqlKind::Bit:
    case SqlKind::Float:
    case SqlKind::Real:
    case SqlKind::Money:
    case SqlKind::SmallMoney:
    case SqlKind::DateTime:
    case SqlKind::SmallDateTime:
      body.U8(CodesOf(base.kind).fixed);
      body.U8(0);
      WriteFixedData(body, base.kind, v);
      break;
    case SqlKind::Decimal:
    case SqlKind::Numeric:
      body.U8(base.kind == SqlKind::Decimal ? 0x6A : 0x6C);
      body.U8(2);
      body.U8(static_cast<std::uint8_t>(base.precision));
      body.U8(static_cast<std::uint8_t>(base.scale));
      WriteDecimalData(body, v, DecimalWireLength(base.precision));
      break;
    case SqlKind::UniqueIdentifier:
      body.U8(0x24);
      body.U8(0);
      body.Append(v.bytes);
      break;
    case SqlKind::Date:
      body.U8(0x28);
      body.U8(0);
      body.Append(EncodeDate(v.when.days));
      break;
    case SqlKind::Time:
    case SqlKind::DateTime2:
      body.U8(base.kind == SqlKind::Time ? 0x29 : 0x2A);
      body.U8(1);
      body.U8(static_cast<std::uint8_t>(base.scale));
      body.Append(EncodeTime(v.when, base.scale, base.kind == SqlKind::DateTime2));
      break;
    case SqlKind::Char:
    case SqlKind::VarChar:
    case SqlKind::NChar:
    case SqlKind::NVarChar: {
      const bool wide = IsUnicode(base.kind);
      const bool fixedLength = base.kind == SqlKind::Char || base.kind == SqlKind::NChar;
      body.U8(wide ? (fixedLength ? 0xEF : 0xE7) : (fixedLength ? 0xAF : 0xA7));
      body.U8(7);
      WriteCollation(body);
      body.U16(static_cast<std::uint16_t>(base.length * (wide ? 2 : 1)));
      // Down-level date types arrive here as nvarchar text.
      const std::string text = v.variantType->kind == SqlKind::Date ||
                                       v.variantType->kind == SqlKind::Time ||
                                       v.variantType->kind == SqlKind::DateTime2
                                   ? ValueText(*v.variantType, v)
                                   : v.bytes;
      body.Append(CharacterBytes(base.kind, text));
      break;
    }
    case SqlKind::Binary:
    case SqlKind::VarBinary:
      body.U8(base.kind == SqlKind::Binary ? 0xAD : 0xA5);
      body.U8(2);
      body.U16(static_cast<std::uint16_t>(base.length));
      body.Append(v.bytes);
      break;
    default:
      throw std::logic_error("unsupported sql_variant base type " + ToString(base));
  }
  out.U32(static_cast<std::uint32_t>(body.Size()));
  out.Append(body.Data());
}

// Arbitrary but stable text pointer and timestamp: clients only echo them back in
// WRITETEXT, which the simulator does not support.
constexpr std::uint8_t kTextPointer[16] = {0x53, 0x49, 0x4D, 0x54, 0x45, 0x58, 0x54, 0x50,
                                           0x54, 0x52, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01};
constexpr std::uint8_t kTextTimestamp[8] = {0, 0, 0, 0, 0, 0, 0, 1};

}  // namespace

void WritePlp(ByteWriter& out, std::span<const std::uint8_t> data, std::size_t chunkSize) {
  if (chunkSize == 0 || chunkSize > 0xFFFFFFFFu) throw std::invalid_argument("bad PLP chunk size");
  out.U64(data.size());
  for (std::size_t offset = 0; offset < data.size(); offset += chunkSize) {
    const std::size_t n = std::min(chunkSize, data.size() - offset);
    out.U32(static_cast<std::uint32_t>(n));
    out.Append(data.subspan(offset, n));
  }
  out.U32(0);
}

void WritePlpNull(ByteWriter& out) {
  out.U64(0xFFFFFFFFFFFFFFFFull);
}

void WriteTypeInfo(ByteWriter& out, const SqlType& declared, bool nullable, Tds version,
                   bool inColumnMetadata) {
  const SqlType t = WireType(declared, version);
  const FixedCodes codes = CodesOf(t.kind);
  if (codes.fixed != 0) {
    if (!nullable) {
      out.U8(codes.fixed);
    } else {
      out.U8(codes.nullable);
      out.U8(static_cast<std::uint8_t>(FixedSize(t.kind)));
    }
    return;
  }
  auto tableName = [&]() {
    if (!inColumnMetadata) return;
    if (version >= Tds::V72) {
      out.U8(0);  // no name parts: the value does not come from a table
    } else {
      out.UsVarchar(u"");
    }
  };
  switch (t.kind) {
    case SqlKind::Decimal:
    case SqlKind::Numeric:
      out.U8(t.kind == SqlKind::Decimal ? 0x6A : 0x6C);
      out.U8(static_cast<std::uint8_t>(DecimalWireLength(t.precision)));
      out.U8(static_cast<std::uint8_t>(t.precision));
      out.U8(static_cast<std::uint8_t>(t.scale));
      break;
    case SqlKind::Date:
      out.U8(0x28);
      break;
    case SqlKind::Time:
      out.U8(0x29);
      out.U8(static_cast<std::uint8_t>(t.scale));
      break;
    case SqlKind::DateTime2:
      out.U8(0x2A);
      out.U8(static_cast<std::uint8_t>(t.scale));
      break;
    case SqlKind::UniqueIdentifier:
      out.U8(0x24);
      out.U8(16);
      break;
    case SqlKind::Char:
    case SqlKind::VarChar:
    case SqlKind::NChar:
    case SqlKind::NVarChar: {
      const bool wide = IsUnicode(t.kind);
      const bool fixedLength = t.kind == SqlKind::Char || t.kind == SqlKind::NChar;
      out.U8(wide ? (fixedLength ? 0xEF : 0xE7) : (fixedLength ? 0xAF : 0xA7));
      out.U16(t.IsMax() ? 0xFFFF : static_cast<std::uint16_t>(t.length * (wide ? 2 : 1)));
      WriteCollation(out);
      break;
    }
    case SqlKind::Binary:
    case SqlKind::VarBinary:
      out.U8(t.kind == SqlKind::Binary ? 0xAD : 0xA5);
      out.U16(t.IsMax() ? 0xFFFF : static_cast<std::uint16_t>(t.length));
      break;
    case SqlKind::Text:
      out.U8(0x23);
      out.U32(0x7FFFFFFF);
      WriteCollation(out);
      tableName();
      break;
    case SqlKind::NText:
      out.U8(0x63);
      out.U32(0x7FFFFFFE);
      WriteCollation(out);
      tableName();
      break;
    case SqlKind::Image:
      out.U8(0x22);
      out.U32(0x7FFFFFFF);
      tableName();
      break;
    case SqlKind::Variant:
      out.U8(0x62);
      out.U32(8009);
      break;
    default:
      throw std::logic_error("no TYPE_INFO for " + ToString(t));
  }
}

void WriteValue(ByteWriter& out, const SqlType& declared, bool nullable, const Value& v,
                Tds version) {
  const SqlType t = WireType(declared, version);
  if (CodesOf(t.kind).fixed != 0) {
    if (!nullable) {
      if (v.null) throw std::logic_error("NULL in a NOT NULL column");
      WriteFixedData(out, t.kind, v);
    } else if (v.null) {
      out.U8(0);
    } else {
      out.U8(static_cast<std::uint8_t>(FixedSize(t.kind)));
      WriteFixedData(out, t.kind, v);
    }
    return;
  }
  switch (t.kind) {
    case SqlKind::Decimal:
    case SqlKind::Numeric: {
      if (v.null) {
        out.U8(0);
        return;
      }
      const int length = DecimalWireLength(t.precision);
      out.U8(static_cast<std::uint8_t>(length));
      WriteDecimalData(out, v, length);
      return;
    }
    case SqlKind::Date:
    case SqlKind::Time:
    case SqlKind::DateTime2: {
      if (v.null) {
        out.U8(0);
        return;
      }
      const Bytes b = t.kind == SqlKind::Date
                          ? EncodeDate(v.when.days)
                          : EncodeTime(v.when, t.scale, t.kind == SqlKind::DateTime2);
      out.U8(static_cast<std::uint8_t>(b.size()));
      out.Append(b);
      return;
    }
    case SqlKind::UniqueIdentifier:
      if (v.null) {
        out.U8(0);
        return;
      }
      out.U8(16);
      out.Append(v.bytes);
      return;
    case SqlKind::Char:
    case SqlKind::VarChar:
    case SqlKind::NChar:
    case SqlKind::NVarChar:
    case SqlKind::Binary:
    case SqlKind::VarBinary: {
      if (v.null) {
        if (t.IsMax()) {
          WritePlpNull(out);
        } else {
          out.U16(0xFFFF);
        }
        return;
      }
      Bytes data;
      if (IsBinary(t.kind)) {
        data.assign(v.bytes.begin(), v.bytes.end());
      } else {
        const bool downLevelDate = declared.kind == SqlKind::Date ||
                                   declared.kind == SqlKind::Time ||
                                   declared.kind == SqlKind::DateTime2;
        data = CharacterBytes(t.kind, downLevelDate ? ValueText(declared, v) : v.bytes);
      }
      if (t.IsMax()) {
        WritePlp(out, data);
      } else {
        out.U16(static_cast<std::uint16_t>(data.size()));
        out.Append(data);
      }
      return;
    }
    case SqlKind::Text:
    case SqlKind::NText:
    case SqlKind::Image: {
      if (v.null) {
        out.U8(0);
        return;
      }
      const Bytes data = IsCharacter(t.kind) ? CharacterBytes(t.kind, v.bytes)
                                             : Bytes(v.bytes.begin(), v.bytes.end());
      out.U8(sizeof kTextPointer);
      out.Append(kTextPointer);
      out.Append(kTextTimestamp);
      out.U32(static_cast<std::uint32_t>(data.size()));
      out.Append(data);
      return;
    }
    case SqlKind::Variant:
      WriteVariant(out, v, version);
      return;
    default:
      throw std::logic_error("cannot encode " + ToString(t));
  }
}

}  // namespace sqlsim
