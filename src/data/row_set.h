#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

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

// A complete row set: its columns and all its rows, read in full when it arrives. The query
// fixes its column names once (MakeColumnNamesUnique); after that it is only read, shared by the
// query and the secondary data set.
struct RowSet {
  std::vector<Field> fields;
  std::vector<std::vector<Value>> rows;
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
