#include "findings/finding.h"

#include <algorithm>

namespace quorvane::findings {

std::string_view SeverityName(Severity severity) {
  switch (severity) {
    case Severity::kHigh:
      return "high";
    case Severity::kMedium:
      return "medium";
    case Severity::kLow:
      return "low";
  }
  return "low";
}

std::vector<Finding> BySeverity(std::vector<Finding> findings) {
  std::stable_sort(findings.begin(), findings.end(),
                   [](const Finding& a, const Finding& b) { return a.severity < b.severity; });
  return findings;
}

std::string SeverityCounts(const std::vector<Finding>& findings) {
  std::string text;
  for (const Severity severity : kSeverities) {
    const auto count = std::count_if(findings.begin(), findings.end(),
                                     [&](const Finding& f) { return f.severity == severity; });
    if (!text.empty()) text += ", ";
    text += std::to_string(count) + " " + std::string(SeverityName(severity));
  }
  return text;
}

}  // namespace quorvane::findings
