#pragma once

// The ODBC headers, in the order every platform accepts, plus the SQL Server specific type
// codes that only Microsoft's driver headers define.
#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

namespace quorvane::data::odbc {

inline constexpr SQLSMALLINT kSqlSsVariant = -150;
inline constexpr SQLSMALLINT kSqlSsXml = -152;
inline constexpr SQLSMALLINT kSqlSsTime2 = -154;
inline constexpr SQLSMALLINT kSqlSsTimestampOffset = -155;

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "SQLWCHAR must be UTF-16");

}  // namespace quorvane::data::odbc
