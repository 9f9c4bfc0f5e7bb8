#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "data/database_error.h"
#include "data/date_time.h"
#include "data/field_kind.h"

namespace quorvane::data {

// One column of a row set as the server described it.
struct Field {
  Field() = default;
  // Not an aggregate, so that the many columns written as {name, kind} need no type.
  Field(std::string fieldName, FieldKind fieldKind, std::string type = {})
      : name(std::move(fieldName)), kind(fieldKind), sqlType(std::move(type)) {}

  std::string name;
  FieldKind kind = FieldKind::ftString;
  // The column's type as the driver describes it ("nvarchar(128)", "decimal(19,4)"); empty when
  // the backend does not say.
  std::string sqlType;
};

// One cell. `text` is the display text (empty for NULL); `native` keeps integers and date-times
// so that they can be read back as numbers without parsing the text again.
struct Value {
  bool isNull = true;
  std::string text;
  std::variant<std::monostate, std::int64_t, double, DateTime> native;

  static Value Null() { return {}; }
  static Value Text(std::string s) { return Value{false, std::move(s), {}}; }
  static Value Integer(std::int64_t v) { return Value{false, std::to_string(v), v}; }
  static Value Date(DateTime dt) { return Value{false, dt.ToIsoText(), dt}; }
};

// Reads the rows of one row set from where they come, one at a time (the ODBC backend).
class RowSource {
 public:
  virtual ~RowSource() = default;
  // Overwrites `row` (one value per field, kept between calls so that its text buffers are
  // reused) with the next row; false when there is none. Throws DatabaseError.
  virtual bool Fetch(std::vector<Value>& row) = 0;
};

// A row set: its columns and a forward-only position on its rows, shared by the query and the
// secondary data set. Its rows are either held (in-memory backends) or fetched as the position
// moves, so that a row set of any size costs one row of memory. The query fixes its column
// names once (MakeColumnNamesUnique); after that they are only read.
class RowSet {
 public:
  RowSet() = default;
  RowSet(std::vector<Field> columns, std::vector<std::vector<Value>> heldRows)
      : fields(std::move(columns)), rows(std::move(heldRows)) {}
  // Fetches the first row at once: a row set that cannot even start fails here.
  RowSet(std::vector<Field> columns, std::shared_ptr<RowSource> source);

  std::vector<Field> fields;
  // The held rows; empty for a fetched row set.
  std::vector<std::vector<Value>> rows;

  bool AtEnd() const { return source_ ? sourceEnded_ : position_ >= rows.size(); }
  // The row at the position; only while !AtEnd().
  const std::vector<Value>& Row() const { return source_ ? fetched_ : rows[position_]; }
  // Moves to the next row. A row that cannot be read ends the row set; its error is kept for
  // TakeError, so that the reader can report it where the rows stopped.
  void Advance();
  std::optional<DatabaseError> TakeError();
  // Shows `onRow` the row at the position, if any, and every row the position moves to from
  // now on; an empty function stops it.
  using RowObserver = std::function<void(const std::vector<Value>&)>;
  void Observe(RowObserver onRow);

 private:
  std::shared_ptr<RowSource> source_;
  std::vector<Value> fetched_;
  bool sourceEnded_ = false;
  std::size_t position_ = 0;
  std::optional<DatabaseError> error_;
  RowObserver observer_;
};
using RowSetPtr = std::shared_ptr<RowSet>;

// A result that is not a row set: the count of rows a statement affected.
struct RowCount {
  std::int64_t rows = 0;
};

// One result of a batch.
using Result = std::variant<RowSetPtr, RowCount>;

// Applies the column naming rules: a column without a name becomes "COLUMN" + number (its
// 1-based position), a repeated name gets "_" + the first number from 1 that makes it unique.
// Names are compared without regard to letter case, as the server compares them.
void MakeColumnNamesUnique(std::vector<Field>& fields);

}  // namespace quorvane::data
