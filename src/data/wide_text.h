#pragma once

#ifdef _WIN32

#include <string>
#include <string_view>

namespace quorvane::data {

// UTF-16 text of the Windows API to UTF-8 and back; invalid sequences become U+FFFD.
std::string Utf8FromWide(std::wstring_view text);
std::wstring WideFromUtf8(std::string_view text);

}  // namespace quorvane::data

#endif
