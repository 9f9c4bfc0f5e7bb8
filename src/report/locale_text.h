#pragma once

#include <string>

#include "data/date_time.h"

namespace quorvane::report {

// A date-time as the user's locale writes it: its short date, a blank and its long time; the
// time is left out when it is 00:00:00.
std::string LocaleDateTimeText(const data::DateTime& value);

// The current local date and time, to the millisecond.
data::DateTime LocalNow();

}  // namespace quorvane::report
