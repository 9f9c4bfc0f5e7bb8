#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/connection.h"
#include "data/database_error.h"
#include "data/row_set.h"

namespace quorvane::data {

// The report's query (`ADOQuery1`): runs one batch at a time on a connection and shows its
// current row set, one row at a time.
class Query {
 public:
  static constexpr int kCommandTimeoutSeconds = 15;
  // Bounds the errors Open collects, should a backend keep failing without moving on.
  static constexpr std::size_t kMaxSkippedErrors = 1000;

  explicit Query(Connection& connection) : connection_(connection) {}

  // Seconds each batch may take before the driver gives up on it; 0: no limit.
  void SetCommandTimeout(int seconds) { commandTimeout_ = seconds; }

  void Close();
  void ClearFields() { fields_.clear(); }
  void ClearText() { lines_.clear(); }
  void AddLine(std::string line) { lines_.push_back(std::move(line)); }
  const std::vector<std::string>& Lines() const { return lines_; }
  // The batch as sent: the lines joined by CR LF.
  std::string CommandText() const;

  // Sends the batch, skips leading results that are not row sets and shows the first row set
  // on its first row. Fails with kNoResultSetMessage when no row set comes. Errors of
  // statements met while skipping are kept (TakeSkippedErrors) when a row set follows them;
  // when none follows, the first of them is what Open throws.
  void Open();
  // The errors Open met before the row set it shows, in order, then the error that ended its
  // rows early, if any; they are given out once.
  std::vector<DatabaseError> TakeSkippedErrors();
  bool IsOpen() const { return current_ != nullptr; }

  int FieldCount() const { return static_cast<int>(fields_.size()); }
  const Field& FieldAt(int column) const;
  FieldKind Kind(int column) const { return FieldAt(column).kind; }
  const std::string& DisplayName(int column) const { return FieldAt(column).name; }
  const std::string& DisplayText(int column) const { return CurrentValue(column).text; }
  const std::string& AsText(int column) const { return CurrentValue(column).text; }
  // NULL gives the zero date-time; a value that is not a date-time throws DatabaseError.
  DateTime AsDateTime(int column) const;
  // NULL gives 0; a value that is not a whole number in range throws DatabaseError.
  std::int32_t AsInteger(int column) const;

  bool AtEnd() const { return !current_ || current_->AtEnd(); }
  // A row that cannot be read ends the row set; its error is given out by TakeSkippedErrors.
  void Next();

  // The row set the query shows (null when closed).
  const RowSetPtr& Current() const { return current_; }

  // The command's next row set, skipping results that are not row sets; nothing when the
  // results are exhausted. A failing later statement throws its error here; asking again goes
  // on after it.
  std::optional<Result> NextResult();

 private:
  const Value& CurrentValue(int column) const;

  Connection& connection_;
  int commandTimeout_ = kCommandTimeoutSeconds;
  std::vector<std::string> lines_;
  std::vector<Field> fields_;
  std::unique_ptr<ResultStream> stream_;
  std::vector<DatabaseError> skippedErrors_;
  RowSetPtr current_;
};

}  // namespace quorvane::data
