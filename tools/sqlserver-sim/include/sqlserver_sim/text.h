#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "sqlserver_sim/bytes.h"

// Character set conversions between the scenario (UTF-8) and the wire (UTF-16LE for N-types and
// all protocol strings, code page 1252 for the default SQL_Latin1_General_CP1_CI_AS collation).
namespace sqlsim {

// Malformed input never throws: it becomes U+FFFD, like a server that got bad bytes.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

Bytes Utf16ToLe(std::u16string_view utf16);
// An odd trailing byte is ignored.
std::u16string Utf16FromLe(std::span<const std::uint8_t> bytes);

// Characters outside code page 1252 become '?', as SQL Server does when it stores them.
std::string Utf8ToCp1252(std::string_view utf8);
std::string Cp1252ToUtf8(std::string_view cp1252);

}  // namespace sqlsim
