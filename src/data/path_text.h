#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace quorvane::data {

// File names between UTF-8 text and paths. A path is UTF-16 on Windows, where a plain
// std::string would not be read as UTF-8; going through char8_t is right on every system.
inline std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace quorvane::data
