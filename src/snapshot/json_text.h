#pragma once

#include <string>
#include <string_view>

#include "data/date_time.h"
#include "data/row_set.h"

// The JSON text of single values, for a document written as it goes rather than built whole.
namespace quorvane::snapshot {

// A JSON string; bytes that are not UTF-8 become U+FFFD.
std::string JsonString(std::string_view text);

// How a column's values are written, decided once per column from its SQL type.
enum class ValueShape {
  kPlain,    // by the value itself: numbers as numbers, text as strings, date-times in ISO 8601
  kBoolean,  // bit
  kExact,    // decimal, numeric, money: the driver's digits as a JSON number, nothing rounded
  kDate,     // date: "yyyy-mm-dd"
  kTime,     // time: "hh:mm:ss[.fff]"
};
ValueShape ShapeOf(std::string_view sqlType);

// Appends `value` as JSON: NULL as null, binary as its "0x..." hex text.
void AppendJsonValue(std::string& out, const data::Value& value, ValueShape shape);

// ISO 8601 without a zone: "yyyy-mm-ddThh:mm:ss[.fff]".
std::string IsoDateTime(const data::DateTime& value);
// The same for a local time, with the system's current offset from UTC ("+01:00").
std::string IsoLocalDateTime(const data::DateTime& local);

}  // namespace quorvane::snapshot
