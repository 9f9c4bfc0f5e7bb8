#include "findings/findings_output.h"

#include "report/text.h"

namespace quorvane::findings {

using report::HtmlEscape;

std::vector<std::string> FindingsSectionEntries(FindingsCollector& collector) {
  const std::vector<Finding> findings = BySeverity(collector.Findings());
  std::vector<std::string> entries = {"<a name=\"Findings\"></a><h2>Findings:</h2>"};
  if (findings.empty()) {
    entries.emplace_back("None.\n");
  } else {
    std::string table =
        "<table class=\"SQLtable\" border=\"1\">\n<tr>\n<th>Severity</th>\n<th>Finding</th>\n"
        "<th>Detail</th>\n<th>Evidence</th>\n</tr>\n";
    for (const Finding& finding : findings) {
      table += "<tr>\n<td>" + std::string(SeverityName(finding.severity)) + "</td>\n<td>" +
               HtmlEscape(finding.title) + "</td>\n<td>" + HtmlEscape(finding.detail) +
               "</td>\n<td><a href=\"#" + HtmlEscape(finding.section) + "\">" +
               HtmlEscape(collector.HeadingOf(finding.section)) + "</a></td>\n</tr>\n";
    }
    entries.push_back(table + "</table>\n");
  }
  entries.emplace_back("<br>");
  return entries;
}

nlohmann::json FindingsJson(const std::vector<Finding>& findings) {
  nlohmann::json list = nlohmann::json::array();
  for (const Finding& finding : BySeverity(findings)) {
    list.push_back(
        {{"id", finding.id},
         {"severity", SeverityName(finding.severity)},
         {"subject", finding.subject},
         {"title", finding.title},
         {"detail", finding.detail},
         {"section", finding.section},
         {"evidence", {{"resultSet", finding.evidence.resultSet}, {"row", finding.evidence.row}}}});
  }
  return list;
}

std::string FindingsSummaryLine(const std::vector<Finding>& findings) {
  return "Findings: " + SeverityCounts(findings) + ".";
}

}  // namespace quorvane::findings
