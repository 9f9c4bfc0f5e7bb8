#include "data/query.h"

#include <charconv>
#include <limits>

#include "data/database_error.h"

namespace quorvane::data {

namespace {

// Gives a row set the column names the interface promises. Every result passes through here
// exactly once, before anybody sees it.
std::optional<Result> WithUniqueNames(std::optional<Result> result) {
  if (result) {
    if (auto* rows = std::get_if<RowSetPtr>(&*result); rows && *rows) {
      MakeColumnNamesUnique((*rows)->fields);
    }
  }
  return result;
}

bool IsRowSet(const Result& result) {
  const auto* rows = std::get_if<RowSetPtr>(&result);
  return rows && *rows && !(*rows)->fields.empty();
}

}  // namespace

void Query::Close() {
  skippedErrors_.clear();
  stream_.reset();
  current_.reset();
}

std::string Query::CommandText() const {
  std::string text;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines_[i];
  }
  return text;
}

void Query::Open() {
  Close();
  stream_ = connection_.Execute(CommandText(), commandTimeout_);
  for (;;) {
    std::optional<Result> result;
    try {
      result = WithUniqueNames(stream_->Next());
    } catch (const DatabaseError& error) {
      // A statement after a leading row count failed; the row set of a later statement may
      // still come, so keep the error for the caller and look on.
      skippedErrors_.push_back(error);
      if (skippedErrors_.size() < kMaxSkippedErrors) continue;
    }
    if (!result) {
      stream_.reset();
      if (!skippedErrors_.empty()) {
        DatabaseError first = skippedErrors_.front();
        skippedErrors_.erase(skippedErrors_.begin());
        throw first;
      }
      throw DatabaseError(kNoResultSetMessage);
    }
    if (IsRowSet(*result)) {
      current_ = std::get<RowSetPtr>(std::move(*result));
      fields_ = current_->fields;
      return;
    }
  }
}

const Field& Query::FieldAt(int column) const {
  if (column < 0 || column >= FieldCount()) {
    throw DatabaseError("Field index out of range: " + std::to_string(column));
  }
  return fields_[static_cast<std::size_t>(column)];
}

const Value& Query::CurrentValue(int column) const {
  FieldAt(column);
  if (AtEnd())
    throw DatabaseError("Either BOF or EOF is True, or the current record has been deleted.");
  return current_->Row()[static_cast<std::size_t>(column)];
}

DateTime Query::AsDateTime(int column) const {
  const Value& value = CurrentValue(column);
  if (value.isNull) return DateTime{};
  if (const auto* dt = std::get_if<DateTime>(&value.native)) return *dt;
  if (auto parsed = DateTime::FromIsoText(value.text)) return *parsed;
  throw DatabaseError("'" + value.text + "' is not a valid date and time");
}

std::int32_t Query::AsInteger(int column) const {
  const Value& value = CurrentValue(column);
  if (value.isNull) return 0;
  std::int64_t number = 0;
  if (const auto* n = std::get_if<std::int64_t>(&value.native)) {
    number = *n;
  } else {
    const std::string& t = value.text;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), number);
    if (ec != std::errc() || end != t.data() + t.size()) {
      throw DatabaseError("'" + t + "' is not a valid integer value");
    }
  }
  if (number < std::numeric_limits<std::int32_t>::min() ||
      number > std::numeric_limits<std::int32_t>::max()) {
    throw DatabaseError("'" + value.text + "' is not a valid integer value");
  }
  return static_cast<std::int32_t>(number);
}

void Query::Next() {
  if (!AtEnd()) current_->Advance();
}

std::vector<DatabaseError> Query::TakeSkippedErrors() {
  std::vector<DatabaseError> errors = std::move(skippedErrors_);
  skippedErrors_.clear();
  if (current_) {
    if (auto error = current_->TakeError()) errors.push_back(std::move(*error));
  }
  return errors;
}

std::optional<Result> Query::NextResult() {
  if (!stream_) return std::nullopt;
  for (;;) {
    std::optional<Result> result = WithUniqueNames(stream_->Next());
    if (!result) {
      stream_.reset();
      return std::nullopt;
    }
    if (IsRowSet(*result)) return result;
  }
}

}  // namespace quorvane::data
