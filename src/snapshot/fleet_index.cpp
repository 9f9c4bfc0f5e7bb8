#include "snapshot/fleet_index.h"

#include <cstdio>

#include "report/text.h"
#include "snapshot/html_page.h"

namespace quorvane::snapshot {

namespace {

using nlohmann::json;
using report::HtmlEscape;

// A file name beside the index as a relative URL: what is not safe in one percent-encoded.
std::string RelativeUrl(const std::string& name) {
  return report::PercentEncode(name, "-._~");
}

std::string Fact(const json& facts, const char* name) {
  if (!facts.is_object() || !facts.contains(name) || facts[name].is_null()) return {};
  const json& value = facts[name];
  return value.is_string() ? value.get<std::string>() : value.dump();
}

std::string Link(const std::string& file, const std::string& caption) {
  if (file.empty()) return {};
  return "<a href=\"" + HtmlEscape(RelativeUrl(file)) + "\">" + caption + "</a>";
}

// "2 high, 0 medium, 1 low", linking to the server's report; empty without counts.
std::string FindingsCell(const FleetEntry& entry) {
  if (!entry.facts.is_object() || !entry.facts.contains("findings") ||
      !entry.facts["findings"].is_object()) {
    return {};
  }
  const json& counts = entry.facts["findings"];
  std::string text;
  for (const char* severity : {"high", "medium", "low"}) {
    if (!text.empty()) text += ", ";
    text += counts.value(severity, json(0)).dump() + " " + severity;
  }
  return entry.report.empty() ? text : Link(entry.report, text);
}

}  // namespace

json FleetFacts(const json& snapshot) {
  json facts = snapshot.value("server", json::object());
  if (!facts.is_object()) facts = json::object();
  const json coverage = snapshot.value("coverage", json::object());
  facts["exceptions"] = coverage.is_object() ? coverage.value("exceptions", json()) : json();
  // The findings as counts per severity; null for a snapshot without the list.
  const json findings = snapshot.value("findings", json());
  if (findings.is_array()) {
    json counts = {{"high", 0}, {"medium", 0}, {"low", 0}};
    for (const json& finding : findings) {
      const json severity = finding.is_object() ? finding.value("severity", json()) : json();
      if (severity.is_string() && counts.contains(severity.get<std::string>())) {
        counts[severity.get<std::string>()] = counts[severity.get<std::string>()].get<int>() + 1;
      }
    }
    facts["findings"] = counts;
  } else {
    facts["findings"] = nullptr;
  }
  return facts;
}

std::string FleetIndexHtml(const std::vector<FleetEntry>& entries) {
  std::string html = PageStart("SQL Server Quorvane: servers", "");
  html += "<a name=\"PageTop\"></a><h1>Servers</h1>\n<a name=\"Servers\"></a><h2>Servers:</h2>\n";
  html +=
      "<table class=\"SQLtable\" border=\"1\">\n<tr>\n<th>Server</th>\n<th>Status</th>\n"
      "<th>Version</th>\n<th>Edition</th>\n<th>Up-Time (Days)</th>\n<th>Databases</th>\n"
      "<th>Exceptions</th>\n<th>Findings</th>\n<th>Time "
      "(s)</th>\n<th>Report</th>\n<th>Snapshot</th>\n"
      "<th>Log</th>\n</tr>\n";
  for (const FleetEntry& entry : entries) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", entry.seconds);
    std::string status = HtmlEscape(entry.status);
    if (!entry.reason.empty()) {
      status = "<span class=\"ExceptionError\">" + status + ":</span> " + HtmlEscape(entry.reason);
    }
    html += "<tr>\n<td>" + HtmlEscape(entry.server) + "</td>\n<td>" + status + "</td>\n<td>" +
            HtmlEscape(Fact(entry.facts, "version")) + "</td>\n<td>" +
            HtmlEscape(Fact(entry.facts, "edition")) + "</td>\n<td>" +
            HtmlEscape(Fact(entry.facts, "upTimeDays")) + "</td>\n<td>" +
            HtmlEscape(Fact(entry.facts, "databases")) + "</td>\n<td>" +
            HtmlEscape(Fact(entry.facts, "exceptions")) + "</td>\n<td>" + FindingsCell(entry) +
            "</td>\n<td>" + seconds + "</td>\n<td>" + Link(entry.report, "report") + "</td>\n<td>" +
            Link(entry.snapshot, "snapshot") + "</td>\n<td>" + Link(entry.log, "log") +
            "</td>\n</tr>\n";
  }
  return html + "</table>\n<br>\n" + PageEnd("Server index");
}

}  // namespace quorvane::snapshot
