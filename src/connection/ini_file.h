#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvane::connection {

// A settings file that could not be written. The message is "Unable to write to <path>"; the
// operating system's reason is kept apart.
class SettingsWriteError : public std::runtime_error {
 public:
  SettingsWriteError(const std::filesystem::path& path, std::string reason)
      : std::runtime_error("Unable to write to " + path.string()), reason_(std::move(reason)) {}
  const std::string& reason() const { return reason_; }

 private:
  std::string reason_;
};

// How a settings file's bytes were encoded. Everything is written back as UTF-8.
enum class TextEncoding { kUtf8, kUtf8WithBom, kWindows1252, kUtf16 };

bool IsValidUtf8(std::string_view bytes);
std::string Windows1252ToUtf8(std::string_view bytes);

struct DecodedText {
  std::string text;  // UTF-8
  TextEncoding encoding = TextEncoding::kUtf8;
};
// UTF-8 (with or without a byte-order mark) as it is; UTF-16 with a byte-order mark converted;
// anything else that is not valid UTF-8 read as Windows-1252, the code page of the files the
// Windows program wrote.
DecodedText DecodeText(std::string_view bytes);

// An INI file held as its lines, so that a write changes only its own key's line and keeps every
// other line, comment and section as it was. Section names and keys match without regard to
// letter case; the first of duplicated sections or keys counts.
class IniDocument {
 public:
  static IniDocument Parse(std::string_view utf8Text);

  // The key's value, trimmed of blanks; nothing when the section or the key is missing.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view fallback) const;
  // Decimal, or hexadecimal with a "0x" prefix; a missing, empty or malformed value (or one out
  // of range) gives `fallback`.
  int ReadInteger(std::string_view section, std::string_view key, int fallback) const;
  // Read as an integer; any value but 0 is true.
  bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

  // Replaces the key's line, or adds it at the end of its section, or adds the section at the
  // end. A value cannot hold a line break (std::invalid_argument).
  void Set(std::string_view section, std::string_view key, std::string_view value);

  const std::vector<std::string>& Lines() const { return lines_; }
  // The lines, each ended by the file's own line break ("\n" for a new file).
  std::string Text() const;

  bool withByteOrderMark = false;

 private:
  std::vector<std::string> lines_;
  std::string newline_ = "\n";
};

// Reads a settings file. A missing or unreadable file reads as empty, as the private-profile
// functions treat it.
struct IniFileContent {
  IniDocument document;
  TextEncoding encoding = TextEncoding::kUtf8;
  bool exists = false;
};
IniFileContent ReadIniFile(const std::filesystem::path& path);

// Writes `values` into `section` of the file as it is now on disk, in one atomic replacement:
// a crash leaves either the old file or the new one. A file in another encoding is rewritten as
// UTF-8. Throws SettingsWriteError, also when the file exists but cannot be read (writing then
// would lose its other lines) or is write-protected.
void WriteIniValues(const std::filesystem::path& path, std::string_view section,
                    const std::vector<std::pair<std::string, std::string>>& values);

// Replaces the file with `bytes` through a temporary file in the same folder and a rename,
// keeping the permissions of a file it replaces. Throws SettingsWriteError.
void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// The file's bytes; nothing when it does not exist. Throws std::system_error when it exists but
// cannot be read.
std::optional<std::string> ReadFileBytes(const std::filesystem::path& path);

}  // namespace quorvane::connection
