#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "findings/findings_collector.h"

namespace quorvane::findings {

// The report's "Findings" section: its heading, then a table by severity, each row linking to
// the section that holds its evidence; every value from the server escaped.
std::vector<std::string> FindingsSectionEntries(FindingsCollector& collector);

// The snapshot's "findings" list, by severity.
nlohmann::json FindingsJson(const std::vector<Finding>& findings);

// What the command ends with: "Findings: 2 high, 2 medium, 3 low."
std::string FindingsSummaryLine(const std::vector<Finding>& findings);

}  // namespace quorvane::findings
