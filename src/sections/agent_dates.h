#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane::sections {

// The Agent keeps dates as integers yyyymmdd and times of day and durations as hhmmss, 0 for
// never. These build the SQL lines that turn such a column into text on the server, so that a
// stored 0 reads 00/00/0000 and 00:00:00 instead of an empty or misleading cell.
//
// `alias` is everything after "as " on the third line, the separating comma included when
// another column follows.

// dd/mm/yyyy: day, month, then year with the alias.
std::vector<std::string> DatePattern(std::string_view column, std::string_view alias);
// hh:mm:ss: hours, minutes, then seconds with the alias.
std::vector<std::string> TimePattern(std::string_view column, std::string_view alias);

}  // namespace quorvane::sections
