#include "snapshot/drift_html.h"

#include <algorithm>

#include "report/text.h"
#include "snapshot/html_page.h"

namespace quorvane::snapshot {

namespace {

using nlohmann::json;
using report::HtmlEscape;

constexpr std::string_view kStyles =
    "\r\n.Added td { background-color: #E2F7E2; }\r\n"
    ".Removed td { background-color: #FBE3E3; text-decoration: line-through; }\r\n"
    ".SQLtable td.Changed { background-color: #FFF1C2; font-weight: bold; }\r\n";

std::string CellText(const json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_null()) return "NULL";
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string Text(const json& document, const char* group, const char* field) {
  const json& value = document.value(group, json::object()).value(field, json());
  return value.is_null() ? std::string() : CellText(value);
}

std::string HeaderRow(const std::vector<std::string>& columns) {
  std::string html = "<tr>\n";
  for (const std::string& column : columns) html += "<th>" + HtmlEscape(column) + "</th>\n";
  return html + "</tr>\n";
}

std::string RowsTable(const std::vector<std::string>& columns, const std::vector<json>& rows,
                      const char* rowClass) {
  std::string html = "<table class=\"SQLtable\" border=\"1\">\n" + HeaderRow(columns);
  for (const json& row : rows) {
    html += "<tr class=\"" + std::string(rowClass) + "\">\n";
    for (const json& value : row) html += "<td>" + HtmlEscape(CellText(value)) + "</td>\n";
    html += "</tr>\n";
  }
  return html + "</table>\n";
}

const json& ValueIn(const json& row, const std::vector<std::string>& columns,
                    const std::string& name) {
  static const json kNone;
  const auto at = std::find(columns.begin(), columns.end(), name);
  return at == columns.end() ? kNone : row[static_cast<std::size_t>(at - columns.begin())];
}

std::string ChangedTable(const TableDrift& table) {
  std::string html = "<table class=\"SQLtable\" border=\"1\">\n" + HeaderRow(table.newColumns);
  for (const ChangedRow& change : table.changed) {
    html += "<tr>\n";
    for (std::size_t c = 0; c < table.newColumns.size(); ++c) {
      const std::string& column = table.newColumns[c];
      const std::string now = HtmlEscape(CellText(change.after[c]));
      const auto& changed = change.changedColumns;
      if (std::find(changed.begin(), changed.end(), column) == changed.end()) {
        html += "<td>" + now + "</td>\n";
      } else {
        html += "<td class=\"Changed\">" +
                HtmlEscape(CellText(ValueIn(change.before, table.oldColumns, column))) +
                " &rarr; " + now + "</td>\n";
      }
    }
    html += "</tr>\n";
  }
  return html + "</table>\n";
}

std::string Join(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

std::string TableHtml(const TableDrift& table) {
  std::string html = "<h3>" + HtmlEscape(table.label) + ":</h3>\n";
  if (table.label != table.command) {
    html += "<i>" + HtmlEscape(table.command.substr(0, table.command.find('\n'))) + "</i><br>\n";
  }
  if (table.oldColumns.empty() || table.newColumns.empty()) {
    html += "<i>Only in the " + std::string(table.oldColumns.empty() ? "new" : "old") +
            " snapshot.</i><br>\n";
  } else {
    html += "<i>Rows matched by " +
            (table.key.empty() ? std::string("their whole content") : HtmlEscape(Join(table.key))) +
            ".</i><br>\n";
  }
  if (!table.added.empty()) {
    html += "<b>Added (" + std::to_string(table.added.size()) + "):</b>\n" +
            RowsTable(table.newColumns, table.added, "Added");
  }
  if (!table.removed.empty()) {
    html += "<b>Removed (" + std::to_string(table.removed.size()) + "):</b>\n" +
            RowsTable(table.oldColumns, table.removed, "Removed");
  }
  if (!table.changed.empty()) {
    html +=
        "<b>Changed (" + std::to_string(table.changed.size()) + "):</b>\n" + ChangedTable(table);
  }
  return html;
}

std::string SideBySide(const json& before, const json& after, std::string_view oldFile,
                       std::string_view newFile) {
  std::string html =
      "<table class=\"SQLtable\" border=\"1\">\n<tr>\n<th></th>\n<th>Old</th>\n<th>New</th>\n"
      "</tr>\n";
  auto row = [&](const char* caption, const std::string& was, const std::string& now) {
    html += "<tr>\n<td><b>" + std::string(caption) + "</b></td>\n<td>" + HtmlEscape(was) +
            "</td>\n<td>" + HtmlEscape(now) + "</td>\n</tr>\n";
  };
  row("Snapshot", std::string(oldFile), std::string(newFile));
  row("Taken", before.value("startTime", ""), after.value("startTime", ""));
  row("Server", Text(before, "server", "name"), Text(after, "server", "name"));
  row("Instance", Text(before, "server", "instance"), Text(after, "server", "instance"));
  row("Version", Text(before, "server", "version"), Text(after, "server", "version"));
  row("Edition", Text(before, "server", "edition"), Text(after, "server", "edition"));
  row("Collation", Text(before, "server", "collation"), Text(after, "server", "collation"));
  return html + "</table>\n";
}

std::string Summary(const Drift& drift, const DriftOptions& options) {
  std::string html = "<table class=\"SQLtable\" border=\"1\">\n";
  auto row = [&](const char* caption, const std::string& value) {
    html += "<tr>\n<td><b>" + std::string(caption) + "</b></td>\n<td>" + value + "</td>\n</tr>\n";
  };
  row("Sections compared", std::to_string(drift.sectionsCompared));
  row("Sections with changes", std::to_string(drift.sectionsWithChanges));
  row("Rows added", std::to_string(drift.added));
  row("Rows removed", std::to_string(drift.removed));
  row("Rows changed", std::to_string(drift.changed));
  row("Volatile values",
      options.all ? std::string("compared")
                  : "not compared (" + std::to_string(drift.volatileTablesSkipped) +
                        " results of counters, history, up-time and the like, and sizes and run "
                        "times in other results; --all compares them)");
  html +=
      "</table>\n<br>\n<table class=\"SQLtable\" border=\"1\">\n<tr>\n<th>Section</th>\n"
      "<th>Old status</th>\n<th>New status</th>\n<th>Added</th>\n<th>Removed</th>\n"
      "<th>Changed</th>\n</tr>\n";
  for (const SectionDrift& section : drift.sections) {
    const std::string heading = HtmlEscape(section.heading);
    html += "<tr>\n<td>" +
            (section.HasChanges()
                 ? "<a href=\"#" + HtmlEscape(section.anchor) + "\">" + heading + "</a>"
                 : heading) +
            "</td>\n<td>" + HtmlEscape(section.oldStatus.empty() ? "absent" : section.oldStatus) +
            "</td>\n<td>" + HtmlEscape(section.newStatus.empty() ? "absent" : section.newStatus) +
            "</td>\n<td>" + std::to_string(section.added) + "</td>\n<td>" +
            std::to_string(section.removed) + "</td>\n<td>" + std::to_string(section.changed) +
            "</td>\n</tr>\n";
  }
  return html + "</table>\n";
}

}  // namespace

std::string DriftHtml(const Drift& drift, const json& before, const json& after,
                      std::string_view oldFile, std::string_view newFile,
                      const DriftOptions& options) {
  const std::string oldName = Text(before, "server", "name");
  const std::string newName = Text(after, "server", "name");
  const std::string title = "Drift: " + oldName + " \u2192 " + newName;
  std::string html = PageStart(title, kStyles);
  html += "<a name=\"PageTop\"></a><h1>" + HtmlEscape(title) + "</h1>\n";
  html += "<a name=\"Summary\"></a><h2>Summary:</h2>\n";
  html += SideBySide(before, after, oldFile, newFile) + "<br>\n" + Summary(drift, options);
  if (!drift.Any()) html += "<br>\n<b>No drift.</b>\n";
  for (const SectionDrift& section : drift.sections) {
    if (!section.HasChanges()) continue;
    html += "<a name=\"" + HtmlEscape(section.anchor) + "\"></a><h2>" +
            HtmlEscape(section.heading) + ":</h2>\n";
    for (const TableDrift& table : section.tables) html += TableHtml(table);
    html += "<br>\n";
  }
  return html + "<br>\n" + PageEnd("Drift report");
}

}  // namespace quorvane::snapshot
