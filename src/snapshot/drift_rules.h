#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane::snapshot {

// How the rows of one kind of result are compared between two snapshots: which columns name a
// row (its natural key; none: the whole row does), and which values change by themselves
// (counters, sizes, last and next run times), compared only when asked for.
struct TableRule {
  std::string_view label;
  std::string_view anchor;                // only in this section; empty: any
  std::string_view commandContains;       // only results of such a batch; empty: any
  std::vector<std::string_view> columns;  // the result has all of these (letter case ignored)
  std::vector<std::string_view> key;
  std::vector<std::string_view> volatileColumns;
  bool volatileTable = false;  // all of it changes by itself, or only names the server
};

// The rule for a result of `command` in section `anchor` with these columns; null for none.
const TableRule* FindTableRule(std::string_view anchor, std::string_view command,
                               const std::vector<std::string>& columns);

}  // namespace quorvane::snapshot
