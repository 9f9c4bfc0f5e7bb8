#pragma once

#include <string>
#include <string_view>

namespace quorvane::snapshot {

// The start of a page made beside the reports (the drift report, the server index) in the
// report's own look: the report template's head with its styles, under `title` (escaped here),
// with `extraStyles` (CSS rules) added, and the opening of the body.
std::string PageStart(std::string_view title, std::string_view extraStyles);

// The end of such a page: the small blue line saying what made it and when, then the closing
// tags. `what` is plain text ("Drift report").
std::string PageEnd(std::string_view what);

}  // namespace quorvane::snapshot
