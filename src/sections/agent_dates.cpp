#include "sections/agent_dates.h"

namespace quorvane::sections {

namespace {

// The parts of an integer of the form xxyyzz, as T-SQL integer arithmetic on the column.
std::string High(std::string_view c) {
  return "(" + std::string(c) + " / 10000)";
}

// yyzz, without parentheses of its own.
std::string LastFour(std::string_view c) {
  return std::string(c) + " - ((" + std::string(c) + " / 10000) * 10000)";
}

std::string Middle(std::string_view c) {
  return "((" + LastFour(c) + ") / 100)";
}

std::string Low(std::string_view c) {
  return "(" + LastFour(c) + " - (((" + LastFour(c) + ") / 100) * 100))";
}

// right(<pad> + convert(varchar(<width>), <part>), <width>)
std::string Padded(std::string_view pad, int width, const std::string& part) {
  const std::string w = std::to_string(width);
  return "right(" + std::string(pad) + " + convert(varchar(" + w + "), " + part + "), " + w + ")";
}

}  // namespace

std::vector<std::string> DatePattern(std::string_view column, std::string_view alias) {
  return {
      Padded("'00'", 2, Low(column)) + " + '/' +",
      Padded("'00'", 2, Middle(column)) + " + '/' +",
      Padded("'0000'", 4, High(column)) + " as " + std::string(alias),
  };
}

std::vector<std::string> TimePattern(std::string_view column, std::string_view alias) {
  return {
      Padded("'0'", 2, High(column)) + " + ':' +",
      Padded("'0'", 2, Middle(column)) + " + ':' +",
      Padded("'0'", 2, Low(column)) + " as " + std::string(alias),
  };
}

}  // namespace quorvane::sections
