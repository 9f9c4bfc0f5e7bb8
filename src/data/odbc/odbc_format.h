#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "data/database_error.h"
#include "data/date_time.h"
#include "data/field_kind.h"
#include "data/odbc/odbc_api.h"
#include "data/row_set.h"

// The driver-independent half of the ODBC layer: type mapping, value texts, text conversion
// and error messages. Kept apart so that it can be tested without a driver.
namespace quorvane::data::odbc {

// UTF-16 from the wide ODBC API to UTF-8 and back. Unpaired surrogates and malformed UTF-8
// become U+FFFD rather than failing: a report should show a damaged name, not lose the row.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);
// The same for the driver's own unit type, which is a distinct type from char16_t.
std::string WideToUtf8(const SQLWCHAR* text, std::size_t length);
// The same into `out`, whose storage is reused.
void AssignWideAsUtf8(std::string& out, const SQLWCHAR* text, std::size_t length);
std::vector<SQLWCHAR> Utf8ToWide(std::string_view text);  // NUL-terminated

// How a column's values are read from the driver.
enum class ValueReader {
  kInteger,     // SQL_C_SBIGINT
  kBit,         // SQL_C_BIT
  kReal,        // SQL_C_FLOAT, so that a real keeps its own shortest text
  kDouble,      // SQL_C_DOUBLE
  kExactText,   // SQL_C_CHAR: decimals exactly as the driver renders them
  kTimestamp,   // SQL_C_TYPE_TIMESTAMP
  kTimeText,    // SQL_C_CHAR "hh:mm:ss[.f...]"
  kOffsetText,  // SQL_C_CHAR "yyyy-mm-dd hh:mm:ss[.f...] +hh:mm"
  kGuid,        // SQL_C_GUID
  kBinary,      // SQL_C_BINARY
  kWideText,    // SQL_C_WCHAR
};

struct ColumnShape {
  FieldKind kind;
  ValueReader reader;
};

// The field kind and reader for a column SQLDescribeCol reported; nothing for a type the layer
// does not offer (such a column is left out of the row set).
std::optional<ColumnShape> ShapeForSqlType(SQLSMALLINT sqlType, SQLULEN columnSize);

// The SQL Server name of a column's type from what SQLDescribeCol reported ("varchar(60)",
// "nvarchar(max)", "decimal(18,2)"). A datetime2(3) is described as a datetime is, and reads so.
std::string SqlTypeName(SQLSMALLINT sqlType, SQLULEN columnSize, SQLSMALLINT decimalDigits);

// Display texts.
std::string FormatDouble(double value);
std::string FormatReal(float value);
std::string FormatGuid(const SQLGUID& guid);
std::string FormatBinary(std::span<const unsigned char> bytes);
DateTime ToDateTime(const SQL_TIMESTAMP_STRUCT& ts);

// Values of the date/time types the driver only hands out as text. Text that does not parse is
// kept as plain text.
Value TimeOfDayValue(std::string_view driverText);
Value OffsetDateTimeValue(std::string_view driverText);

// One diagnostic record as SQLGetDiagRec returned it (message already UTF-8).
struct DiagRecord {
  std::string state;
  int native = 0;
  std::string message;
  ServerMessageDetail detail = {};
};

// The message without the leading component tags ("[unixODBC][FreeTDS][SQL Server]").
std::string StripDriverPrefixes(std::string_view message);

struct ErrorContext {
  bool connecting = false;
  int timeoutSeconds = 0;
  // The driver found the link dead, whatever state its records carry (FreeTDS reports an
  // unexpected EOF as 01000).
  bool linkLost = false;
};

bool IsConnectionLost(std::string_view state);
bool IsTimeout(std::string_view state);

// The error to show for a failed call: the first error record decides number, state and the
// first line; further distinct server errors follow on their own lines. Informational records
// (class 01) are left out unless there is nothing else. `fallback` is used when the driver left
// no record at all. A lost link always reads as one and carries state 08S01.
DatabaseError ErrorFromDiagnostics(const std::vector<DiagRecord>& records,
                                   std::string_view fallback, const ErrorContext& context = {});

}  // namespace quorvane::data::odbc
