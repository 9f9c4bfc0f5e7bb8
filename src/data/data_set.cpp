#include "data/data_set.h"

#include "data/database_error.h"

namespace quorvane::data {

void DataSet::Attach(const std::optional<Result>& result) {
  Close();
  if (!result) return;
  const auto* rows = std::get_if<RowSetPtr>(&*result);
  if (!rows || !*rows || (*rows)->fields.empty()) throw DatabaseError("Recordset is not open");
  rows_ = *rows;
  hasRows_ = !rows_->AtEnd();
}

void DataSet::Close() {
  rows_.reset();
  hasRows_ = false;
}

const Field& DataSet::FieldAt(int column) const {
  if (column < 0 || column >= FieldCount()) {
    throw DatabaseError("Field index out of range: " + std::to_string(column));
  }
  return rows_->fields[static_cast<std::size_t>(column)];
}

const std::string& DataSet::DisplayText(int column) const {
  FieldAt(column);
  if (AtEnd())
    throw DatabaseError("Either BOF or EOF is True, or the current record has been deleted.");
  return rows_->Row()[static_cast<std::size_t>(column)].text;
}

void DataSet::Next() {
  if (!AtEnd()) rows_->Advance();
}

}  // namespace quorvane::data
