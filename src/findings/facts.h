#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/date_time.h"
#include "data/row_set.h"

namespace quorvane::findings {

// The results rules read, each recognised by its batch and columns.
enum class Source {
  kConfiguration,  // sp_configure: one option per row
  kDatabases,      // sp_helpdb: one database per row
  kDatabaseFiles,  // the per-database walk: one database's sp_helpfile rows at a time
  kDisks,          // the disk batch: one drive per row
  kJobs,           // the job script: one job per row
  kVersion,        // SERVERPROPERTY('ProductVersion'): one row
};

// One row of such a result, its values by column name (letter case ignored).
class RowFacts {
 public:
  // `columns` (letter case folded) are shared by the rows of a result. The row is only looked
  // at, so it must outlive these facts; Keep() makes a copy that stays.
  RowFacts(std::shared_ptr<const std::vector<std::string>> columns,
           const std::vector<data::Value>& row)
      : columns_(std::move(columns)), values_(&row) {}
  RowFacts(const RowFacts& other) { *this = other; }
  RowFacts& operator=(const RowFacts& other);
  RowFacts Keep() const;

  // The display text without surrounding blanks (char columns come padded); empty for NULL or a
  // column the row does not have.
  std::string Text(std::string_view column) const;
  // A whole number, from the driver's integer or from the text; nothing for NULL, a missing
  // column or anything else.
  std::optional<std::int64_t> Integer(std::string_view column) const;

 private:
  const data::Value* Find(std::string_view column) const;

  std::shared_ptr<const std::vector<std::string>> columns_;
  const std::vector<data::Value>* values_ = nullptr;
  std::vector<data::Value> kept_;  // the row, once kept
};

// What one rule looks at: a row (or one database's files), and what the run knows of the server
// and of the report by then.
struct Facts {
  std::vector<RowFacts> rows;
  std::string database;                    // the files' database
  std::optional<std::int64_t> databaseId;  // its dbid from sp_helpdb, when read
  std::optional<int> serverMajor;          // from the product version, when read
  std::string productVersion;
  data::DateTime reportDate;

  const RowFacts& Row() const { return rows.front(); }
};

// The major version of a product version text ("15.0.2000.5" -> 15); nothing when it is none.
std::optional<int> MajorVersion(std::string_view productVersion);

}  // namespace quorvane::findings
