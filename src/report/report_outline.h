#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "report/query_runner.h"

namespace quorvane::report {

// Starts a section: its heading's markup and its name (for progress and for what is said about
// a lost link or a stop).
using SectionHeading = std::function<void(const std::string& html, std::string_view section)>;

// The body of a report between its top and bottom lines: the sections, in order. The sections
// provide it; the report run knows only this.
class ReportOutline {
 public:
  virtual ~ReportOutline() = default;
  // Appends the body through `q`, starting each of SectionCount() sections with `heading`.
  virtual void AppendBody(QueryRunner& q, const SectionHeading& heading) const = 0;
  virtual int SectionCount() const = 0;
};

}  // namespace quorvane::report
