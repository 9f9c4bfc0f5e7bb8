#pragma once

#include <optional>
#include <string>

#include "data/row_set.h"

namespace quorvane::data {

// The connection-less secondary data set (`ADODataSet1`): shows a result taken from the query.
class DataSet {
 public:
  // Closes, then shows the given result from its first row; with none it stays closed. A result
  // that is not a row set is refused with "Recordset is not open".
  void Attach(const std::optional<Result>& result);
  void Close();

  bool IsOpen() const { return rows_ != nullptr; }
  bool HasRows() const { return rows_ && !rows_->rows.empty(); }
  int FieldCount() const { return rows_ ? static_cast<int>(rows_->fields.size()) : 0; }
  const Field& FieldAt(int column) const;
  FieldKind Kind(int column) const { return FieldAt(column).kind; }
  const std::string& DisplayName(int column) const { return FieldAt(column).name; }
  const std::string& DisplayText(int column) const;
  bool AtEnd() const { return !rows_ || row_ >= rows_->rows.size(); }
  void Next();

 private:
  RowSetPtr rows_;
  std::size_t row_ = 0;
};

}  // namespace quorvane::data
