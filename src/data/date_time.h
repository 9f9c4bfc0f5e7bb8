#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane::data {

// A calendar date and time of day without time zone, as SQL Server's datetime types carry it.
// The default value is the "zero" date-time, 1899-12-30 00:00:00, which the report shows when a
// start time could not be read.
struct DateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;

  friend auto operator<=>(const DateTime&, const DateTime&) = default;

  bool HasTimeOfDay() const { return hour != 0 || minute != 0 || second != 0; }

  // "yyyy-mm-dd hh:mm:ss", with ".fff" only when the milliseconds are not zero.
  std::string ToIsoText() const;

  // Parses "yyyy-mm-dd", "yyyy-mm-dd hh:mm:ss" and "yyyy-mm-dd hh:mm:ss.f..." (any number of
  // fraction digits, kept to milliseconds). Returns nothing for anything else.
  static std::optional<DateTime> FromIsoText(std::string_view text);
};

}  // namespace quorvane::data
