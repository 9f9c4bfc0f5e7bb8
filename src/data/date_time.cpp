#include "data/date_time.h"

#include <cstdio>

namespace quorvane::data {

std::string DateTime::ToIsoText() const {
  char buffer[48];
  if (millisecond != 0) {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", year, month, day,
                  hour, minute, second, millisecond);
  } else {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour,
                  minute, second);
  }
  return buffer;
}

namespace {

bool ReadDigits(std::string_view text, std::size_t& pos, std::size_t count, int& out) {
  if (pos + count > text.size()) return false;
  int value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const char c = text[pos + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  pos += count;
  out = value;
  return true;
}

bool Expect(std::string_view text, std::size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

}  // namespace

std::optional<DateTime> DateTime::FromIsoText(std::string_view text) {
  DateTime dt;
  std::size_t pos = 0;
  if (!ReadDigits(text, pos, 4, dt.year) || !Expect(text, pos, '-') ||
      !ReadDigits(text, pos, 2, dt.month) || !Expect(text, pos, '-') ||
      !ReadDigits(text, pos, 2, dt.day)) {
    return std::nullopt;
  }
  if (dt.month < 1 || dt.month > 12 || dt.day < 1 || dt.day > 31) return std::nullopt;
  if (pos == text.size()) {
    dt.hour = dt.minute = dt.second = 0;
    return dt;
  }
  if (!Expect(text, pos, ' ') || !ReadDigits(text, pos, 2, dt.hour) || !Expect(text, pos, ':') ||
      !ReadDigits(text, pos, 2, dt.minute) || !Expect(text, pos, ':') ||
      !ReadDigits(text, pos, 2, dt.second)) {
    return std::nullopt;
  }
  if (dt.hour > 23 || dt.minute > 59 || dt.second > 59) return std::nullopt;
  if (pos < text.size()) {
    if (!Expect(text, pos, '.') || pos == text.size()) return std::nullopt;
    int scale = 100;
    while (pos < text.size()) {
      const char c = text[pos++];
      if (c < '0' || c > '9') return std::nullopt;
      dt.millisecond += (c - '0') * scale;
      scale /= 10;
    }
  }
  return dt;
}

}  // namespace quorvane::data
