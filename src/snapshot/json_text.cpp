#include "snapshot/json_text.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

namespace quorvane::snapshot {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The driver's text of a decimal as a JSON number ("-.5" -> "-0.5"), or nothing when it is not
// a plain decimal number.
std::string ExactNumber(std::string_view text) {
  const std::size_t sign = !text.empty() && text[0] == '-' ? 1 : 0;
  std::string number(text.substr(0, sign));
  if (text.size() > sign && text[sign] == '.') number += '0';
  number += text.substr(sign);
  std::size_t at = sign;
  const std::size_t integerStart = at;
  while (at < number.size() && IsDigit(number[at])) ++at;
  const std::size_t integerDigits = at - integerStart;
  if (integerDigits == 0) return {};
  // JSON forbids leading zeros.
  if (integerDigits > 1 && number[integerStart] == '0') return {};
  if (at < number.size() && number[at] == '.') {
    const std::size_t fractionStart = ++at;
    while (at < number.size() && IsDigit(number[at])) ++at;
    if (at == fractionStart) return {};
  }
  return at == number.size() ? number : std::string();
}

// "yyyy-mm-dd hh:mm:ss[.f] [+hh:mm]" as ISO 8601: "T" between date and time, the offset joined.
std::string IsoText(std::string_view text) {
  std::string iso(text);
  if (iso.size() > 10 && iso[10] == ' ') iso[10] = 'T';
  const std::size_t blank = iso.rfind(' ');
  if (blank != std::string::npos && blank + 1 < iso.size() &&
      (iso[blank + 1] == '+' || iso[blank + 1] == '-')) {
    iso.erase(blank, 1);
  }
  return iso;
}

// Seconds since 1970 of a calendar date and time, as if it were UTC (days from civil).
long long SecondsOf(const std::tm& tm) {
  long long y = tm.tm_year + 1900;
  const long long m = tm.tm_mon + 1;
  y -= m <= 2 ? 1 : 0;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + tm.tm_mday - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long long days = era * 146097 + doe - 719468;
  return days * 86400 + tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
}

int UtcOffsetMinutes() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  std::tm utc{};
#ifdef _WIN32
  localtime_s(&local, &now);
  gmtime_s(&utc, &now);
#else
  localtime_r(&now, &local);
  gmtime_r(&now, &utc);
#endif
  return static_cast<int>((SecondsOf(local) - SecondsOf(utc)) / 60);
}

}  // namespace

std::string JsonString(std::string_view text) {
  return nlohmann::json(std::string(text))
      .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

ValueShape ShapeOf(std::string_view sqlType) {
  if (sqlType == "bit") return ValueShape::kBoolean;
  if (StartsWith(sqlType, "decimal") || StartsWith(sqlType, "numeric") ||
      StartsWith(sqlType, "money") || StartsWith(sqlType, "smallmoney")) {
    return ValueShape::kExact;
  }
  if (sqlType == "date") return ValueShape::kDate;
  if (StartsWith(sqlType, "time")) return ValueShape::kTime;
  return ValueShape::kPlain;
}

void AppendJsonValue(std::string& out, const data::Value& value, ValueShape shape) {
  if (value.isNull) {
    out += "null";
    return;
  }
  if (const auto* integer = std::get_if<std::int64_t>(&value.native)) {
    if (shape == ValueShape::kBoolean) {
      out += *integer != 0 ? "true" : "false";
    } else {
      out += std::to_string(*integer);
    }
    return;
  }
  if (const auto* real = std::get_if<double>(&value.native); real && std::isfinite(*real)) {
    out += nlohmann::json(*real).dump();
    return;
  }
  if (std::holds_alternative<data::DateTime>(value.native)) {
    if (shape == ValueShape::kTime) {
      out += JsonString(value.text);
    } else if (shape == ValueShape::kDate) {
      out += JsonString(value.text.substr(0, 10));
    } else {
      out += JsonString(IsoText(value.text));
    }
    return;
  }
  if (shape == ValueShape::kExact) {
    if (std::string number = ExactNumber(value.text); !number.empty()) {
      out += number;
      return;
    }
  }
  out += JsonString(value.text);
}

std::string IsoDateTime(const data::DateTime& value) {
  return IsoText(value.ToIsoText());
}

std::string IsoLocalDateTime(const data::DateTime& local) {
  const int offset = UtcOffsetMinutes();
  const int magnitude = offset < 0 ? -offset : offset;
  char zone[16];
  std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', magnitude / 60,
                magnitude % 60);
  return IsoDateTime(local) + zone;
}

}  // namespace quorvane::snapshot
