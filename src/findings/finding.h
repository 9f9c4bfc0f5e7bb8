#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::findings {

// In the order a reader should look at them.
enum class Severity { kHigh, kMedium, kLow };
inline constexpr std::array<Severity, 3> kSeverities = {Severity::kHigh, Severity::kMedium,
                                                        Severity::kLow};
// "high", "medium", "low".
std::string_view SeverityName(Severity severity);

// Where a finding's values stand: a result set of its section and a row of it, both counted
// from 0 as the snapshot lists them.
struct Evidence {
  std::size_t resultSet = 0;
  std::size_t row = 0;
  bool operator==(const Evidence&) const = default;
};

// A risk read from the rows the report gathered, pointing at its evidence.
struct Finding {
  std::string id;
  Severity severity = Severity::kLow;
  std::string subject;  // the option, database, drive or job; empty where there is none
  std::string title;    // one line
  std::string detail;   // the values that triggered it, and why it matters
  std::string section;  // the anchor of the section that holds the evidence
  Evidence evidence;
};

// The findings in the order they are shown: by severity, then as they were found.
std::vector<Finding> BySeverity(std::vector<Finding> findings);

// "2 high, 3 medium, 1 low".
std::string SeverityCounts(const std::vector<Finding>& findings);

}  // namespace quorvane::findings
