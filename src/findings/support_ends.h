#pragma once

#include <optional>
#include <string>

#include "data/date_time.h"

namespace quorvane::findings {

// The end of a major version's extended support, from the table compiled into the program
// (resources/extended_support.csv, which names its source).
struct SupportEnd {
  std::string product;      // "SQL Server 2014"
  std::string lastDayText;  // "2024-07-09"
  data::DateTime lastDay;   // its last moment
};

// Nothing for a major version the table does not list.
std::optional<SupportEnd> ExtendedSupportEnd(int majorVersion);

}  // namespace quorvane::findings
