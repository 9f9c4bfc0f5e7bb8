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
  // Whether the row set has a row at the position it was attached at.
  bool HasRows() const { return hasRows_; }
  int FieldCount() const { return rows_ ? static_cast<int>(rows_->fields.size()) : 0; }
  const Field& FieldAt(int column) const;
  FieldKind Kind(int column) const { return FieldAt(column).kind; }
  const std::string& DisplayName(int column) const { return FieldAt(column).name; }
  const std::string& DisplayText(int column) const;
  bool AtEnd() const { return !rows_ || rows_->AtEnd(); }
  void Next();
  // The error that ended the rows early, once.
  std::optional<DatabaseError> TakeError() { return rows_ ? rows_->TakeError() : std::nullopt; }

 private:
  RowSetPtr rows_;
  bool hasRows_ = false;
};

}  // namespace quorvane::data
