#include "snapshot/drift.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <set>
#include <string_view>

#include "snapshot/drift_rules.h"

namespace quorvane::snapshot {

namespace {

using nlohmann::json;

// One kind of result within a section: the rows of every result set of one batch that have the
// same columns, as the per-database walk returns one such set per database.
struct Table {
  std::string label;
  std::string command;
  const TableRule* rule = nullptr;
  std::vector<std::string> columns;
  std::vector<const json*> rows;
};

std::vector<std::string> ColumnNames(const json& resultSet) {
  std::vector<std::string> names;
  for (const json& column : resultSet["columns"])
    names.push_back(column["name"].get<std::string>());
  return names;
}

// The section's tables, in the order they first appear, by an identity of batch and columns.
std::vector<Table> TablesOf(const json& section, std::map<std::string, std::size_t>& index) {
  std::vector<Table> tables;
  const std::string anchor = section["anchor"].get<std::string>();
  for (const json& resultSet : section["resultSets"]) {
    const std::string command = resultSet["command"].get<std::string>();
    std::vector<std::string> columns = ColumnNames(resultSet);
    std::string identity = command;
    for (const std::string& column : columns) identity += "\x1f" + column;
    auto [at, inserted] = index.emplace(identity, tables.size());
    if (inserted) {
      Table table;
      table.rule = FindTableRule(anchor, command, columns);
      table.label = table.rule ? std::string(table.rule->label) : command;
      table.command = command;
      table.columns = std::move(columns);
      tables.push_back(std::move(table));
    }
    for (const json& row : resultSet["rows"]) tables[at->second].rows.push_back(&row);
  }
  return tables;
}

bool Listed(const std::vector<std::string_view>& names, std::string_view column) {
  return std::any_of(names.begin(), names.end(), [&](std::string_view name) {
    return name.size() == column.size() &&
           std::equal(name.begin(), name.end(), column.begin(), [](char a, char b) {
             return std::tolower(static_cast<unsigned char>(a)) ==
                    std::tolower(static_cast<unsigned char>(b));
           });
  });
}

std::ptrdiff_t IndexOf(const std::vector<std::string>& columns, const std::string& name) {
  const auto at = std::find(columns.begin(), columns.end(), name);
  return at == columns.end() ? -1 : at - columns.begin();
}

// How two versions of a table are compared: the columns both have, without the volatile ones
// unless all are wanted, and the key among them.
struct Comparison {
  std::vector<std::string> compared;
  std::vector<std::string> key;
};

Comparison ComparisonFor(const Table* before, const Table* after, const DriftOptions& options) {
  const Table& shape = after ? *after : *before;
  Comparison comparison;
  for (const std::string& column : shape.columns) {
    const bool inBoth = (!before || IndexOf(before->columns, column) >= 0) &&
                        (!after || IndexOf(after->columns, column) >= 0);
    const bool isVolatile = shape.rule && Listed(shape.rule->volatileColumns, column);
    if (inBoth && (options.all || !isVolatile)) comparison.compared.push_back(column);
  }
  if (shape.rule) {
    for (std::string_view wanted : shape.rule->key) {
      for (const std::string& column : comparison.compared) {
        if (Listed({wanted}, column)) comparison.key.push_back(column);
      }
    }
    // A key the result does not fully have cannot name its rows.
    if (comparison.key.size() != shape.rule->key.size()) comparison.key.clear();
  }
  return comparison;
}

std::string ValuesOf(const json& row, const std::vector<std::string>& columns,
                     const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) {
    text += row[static_cast<std::size_t>(IndexOf(columns, name))].dump() + "\x1f";
  }
  return text;
}

// Keys of every row, a repeated key numbered by its occurrence.
std::vector<std::string> KeysOf(const Table& table, const Comparison& comparison) {
  const std::vector<std::string>& names =
      comparison.key.empty() ? comparison.compared : comparison.key;
  std::map<std::string, int> seen;
  std::vector<std::string> keys;
  for (const json* row : table.rows) {
    std::string key = ValuesOf(*row, table.columns, names);
    key += "#" + std::to_string(seen[key]++);
    keys.push_back(std::move(key));
  }
  return keys;
}

TableDrift CompareTables(const Table* before, const Table* after, const DriftOptions& options) {
  const Table& shape = after ? *after : *before;
  TableDrift drift;
  drift.label = shape.label;
  drift.command = shape.command;
  if (before) drift.oldColumns = before->columns;
  if (after) drift.newColumns = after->columns;
  if (!before || !after) {
    for (const json* row : shape.rows) (after ? drift.added : drift.removed).push_back(*row);
    return drift;
  }
  const Comparison comparison = ComparisonFor(before, after, options);
  drift.key = comparison.key;
  const std::vector<std::string> oldKeys = KeysOf(*before, comparison);
  const std::vector<std::string> newKeys = KeysOf(*after, comparison);
  std::map<std::string, std::size_t> oldByKey;
  for (std::size_t i = 0; i < oldKeys.size(); ++i) oldByKey.emplace(oldKeys[i], i);
  std::set<std::string> matched;
  for (std::size_t i = 0; i < newKeys.size(); ++i) {
    const auto old = oldByKey.find(newKeys[i]);
    const json& row = *after->rows[i];
    if (old == oldByKey.end()) {
      drift.added.push_back(row);
      continue;
    }
    matched.insert(newKeys[i]);
    const json& was = *before->rows[old->second];
    ChangedRow change{was, row, {}};
    for (const std::string& column : comparison.compared) {
      if (was[static_cast<std::size_t>(IndexOf(before->columns, column))] !=
          row[static_cast<std::size_t>(IndexOf(after->columns, column))]) {
        change.changedColumns.push_back(column);
      }
    }
    if (!change.changedColumns.empty()) drift.changed.push_back(std::move(change));
  }
  for (std::size_t i = 0; i < oldKeys.size(); ++i) {
    if (!matched.contains(oldKeys[i])) drift.removed.push_back(*before->rows[i]);
  }
  return drift;
}

SectionDrift CompareSections(const json* before, const json* after, const DriftOptions& options) {
  const json& shape = after ? *after : *before;
  SectionDrift drift;
  drift.heading = shape["heading"].get<std::string>();
  drift.anchor = shape["anchor"].get<std::string>();
  if (before) drift.oldStatus = before->value("status", "");
  if (after) drift.newStatus = after->value("status", "");
  std::map<std::string, std::size_t> oldIndex;
  std::map<std::string, std::size_t> newIndex;
  const std::vector<Table> oldTables = before ? TablesOf(*before, oldIndex) : std::vector<Table>();
  const std::vector<Table> newTables = after ? TablesOf(*after, newIndex) : std::vector<Table>();
  // The new snapshot's order, then what only the old one has.
  std::vector<std::pair<const Table*, const Table*>> pairs;
  for (const auto& [identity, at] : newIndex) {
    const auto old = oldIndex.find(identity);
    pairs.emplace_back(old == oldIndex.end() ? nullptr : &oldTables[old->second], &newTables[at]);
  }
  std::sort(pairs.begin(), pairs.end(),
            [&](const auto& a, const auto& b) { return a.second < b.second; });
  for (const auto& [identity, at] : oldIndex) {
    if (!newIndex.contains(identity)) pairs.emplace_back(&oldTables[at], nullptr);
  }
  for (const auto& [old, now] : pairs) {
    const Table& shape = now ? *now : *old;
    if (!options.all && shape.rule && shape.rule->volatileTable) {
      ++drift.volatileTablesSkipped;
      continue;
    }
    TableDrift table = CompareTables(old, now, options);
    if (table.Empty()) continue;
    drift.added += table.added.size();
    drift.removed += table.removed.size();
    drift.changed += table.changed.size();
    drift.tables.push_back(std::move(table));
  }
  return drift;
}

// The snapshot's findings as a section of one table, so that they are compared as any section
// is; null for a snapshot without them.
std::optional<json> FindingsSection(const json& document) {
  if (!document.contains("findings") || !document["findings"].is_array()) return std::nullopt;
  static const std::vector<std::string> kColumns = {"id",     "subject", "severity",  "title",
                                                    "detail", "section", "resultSet", "row"};
  json rows = json::array();
  for (const json& finding : document["findings"]) {
    if (!finding.is_object()) continue;
    const json evidence = finding.value("evidence", json::object());
    json row = json::array();
    for (const std::string& column : kColumns) {
      row.push_back(column == "resultSet" || column == "row"
                        ? (evidence.is_object() ? evidence.value(column, json()) : json())
                        : finding.value(column, json()));
    }
    rows.push_back(std::move(row));
  }
  json columns = json::array();
  for (const std::string& column : kColumns) columns.push_back({{"name", column}});
  return json{{"heading", "Findings"},
              {"anchor", "Findings"},
              {"status", rows.empty() ? "empty" : "ok"},
              {"resultSets",
               json::array({{{"command", "findings"}, {"columns", columns}, {"rows", rows}}})}};
}

}  // namespace

Drift CompareSnapshots(const json& before, const json& after, const DriftOptions& options) {
  std::map<std::string, const json*> oldSections;
  for (const json& section : before["sections"]) {
    oldSections.emplace(section["anchor"].get<std::string>(), &section);
  }
  Drift drift;
  std::set<std::string> seen;
  auto add = [&](SectionDrift section) {
    drift.added += section.added;
    drift.removed += section.removed;
    drift.changed += section.changed;
    drift.volatileTablesSkipped += section.volatileTablesSkipped;
    drift.sectionsWithChanges += section.HasChanges() ? 1 : 0;
    drift.sections.push_back(std::move(section));
  };
  for (const json& section : after["sections"]) {
    const std::string anchor = section["anchor"].get<std::string>();
    const auto old = oldSections.find(anchor);
    const json* was = old == oldSections.end() ? nullptr : old->second;
    drift.sectionsCompared += was ? 1 : 0;
    seen.insert(anchor);
    add(CompareSections(was, &section, options));
  }
  for (const json& section : before["sections"]) {
    if (!seen.contains(section["anchor"].get<std::string>())) {
      add(CompareSections(&section, nullptr, options));
    }
  }
  const std::optional<json> oldFindings = FindingsSection(before);
  const std::optional<json> newFindings = FindingsSection(after);
  if (oldFindings || newFindings) {
    drift.sectionsCompared += oldFindings && newFindings ? 1 : 0;
    add(CompareSections(oldFindings ? &*oldFindings : nullptr,
                        newFindings ? &*newFindings : nullptr, options));
  }
  return drift;
}

}  // namespace quorvane::snapshot
