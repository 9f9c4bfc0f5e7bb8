#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace quorvane::snapshot {

struct DriftOptions {
  bool all = false;  // compare volatile values too (counters, sizes, run times, history)
};

struct ChangedRow {
  nlohmann::json before;  // the old row, in the old table's columns
  nlohmann::json after;   // the new row, in the new table's columns
  std::vector<std::string> changedColumns;
};

// The differences of one kind of result (sp_configure, the logins, ...) within a section.
struct TableDrift {
  std::string label;
  std::string command;
  std::vector<std::string> key;  // the natural key's columns; empty: rows matched whole
  std::vector<std::string> oldColumns;
  std::vector<std::string> newColumns;
  std::vector<nlohmann::json> added;    // in the new columns
  std::vector<nlohmann::json> removed;  // in the old columns
  std::vector<ChangedRow> changed;

  bool Empty() const { return added.empty() && removed.empty() && changed.empty(); }
};

struct SectionDrift {
  std::string heading;
  std::string anchor;
  std::string oldStatus;  // empty: the section is not in that snapshot
  std::string newStatus;
  std::vector<TableDrift> tables;  // those with differences
  std::size_t volatileTablesSkipped = 0;
  std::size_t added = 0;
  std::size_t removed = 0;
  std::size_t changed = 0;

  bool HasChanges() const { return added + removed + changed > 0; }
};

struct Drift {
  std::vector<SectionDrift> sections;  // the new snapshot's order, then sections only the old has
  std::size_t sectionsCompared = 0;    // in both snapshots
  std::size_t sectionsWithChanges = 0;
  std::size_t added = 0;
  std::size_t removed = 0;
  std::size_t changed = 0;
  std::size_t volatileTablesSkipped = 0;

  bool Any() const { return added + removed + changed > 0; }
};

// Compares two snapshots (ReadSnapshot checked their shape). Rows are matched by the natural key
// of their kind of result (drift_rules.h), else as whole rows; a key that repeats is matched in
// order of appearance.
Drift CompareSnapshots(const nlohmann::json& before, const nlohmann::json& after,
                       const DriftOptions& options);

}  // namespace quorvane::snapshot
