#pragma once

#include <string>
#include <string_view>

#include "data/date_time.h"

namespace quorvane::report {

// The name proposed for a saved report: the server text, a blank, the report start time as
// "yyyy-mm-dd hh.mm.ss" and ".htm", with backslashes turned into "-" and blanks into "_".
// Slashes become "-" as well, so that the name never points into another folder.
std::string ProposedReportName(std::string_view serverText, const data::DateTime& startTime);

}  // namespace quorvane::report
