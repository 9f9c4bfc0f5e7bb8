#include "connection/ini_file.h"

#include "data/utf8.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <limits>
#include <system_error>

namespace quorvane::connection {

namespace {

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Windows-1252 at 0x80-0x9F; the five undefined bytes map to the C1 controls, as Windows does.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  std::string out;
  auto unit = [&](std::size_t i) -> char32_t {
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = static_cast<unsigned char>(bytes[i + 1]);
    return bigEndian ? (a << 8 | b) : (b << 8 | a);
  };
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    char32_t code = unit(i);
    if (code >= 0xD800 && code <= 0xDBFF && i + 3 < bytes.size()) {
      const char32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    if (code >= 0xD800 && code <= 0xDFFF) code = 0xFFFD;
    data::AppendUtf8(out, code);
  }
  return out;
}

bool IsKeyLine(std::string_view line, std::string_view key, std::string_view* value = nullptr) {
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return false;
  if (!EqualsNoCase(Trim(line.substr(0, equals)), key)) return false;
  if (value) *value = Trim(line.substr(equals + 1));
  return true;
}

// The name of a "[section]" line, or nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  const std::size_t close = line.find(']');
  return Trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
}

#ifndef _WIN32
std::string ErrorText(int error) {
  return std::system_category().message(error);
}

// The process's file-creation mask, read without changing it.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    }
  }
  return 022;
}
#endif

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    std::size_t length = 0;
    char32_t code = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
      code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      code = c & 0x07;
    } else {
      return false;
    }
    if (i + length > bytes.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char byte : bytes) {
    const auto c = static_cast<unsigned char>(byte);
    data::AppendUtf8(out, c >= 0x80 && c < 0xA0 ? kWindows1252High[c - 0x80] : c);
  }
  return out;
}

DecodedText DecodeText(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    bytes.remove_prefix(3);
    if (IsValidUtf8(bytes)) return {std::string(bytes), TextEncoding::kUtf8WithBom};
    return {Windows1252ToUtf8(bytes), TextEncoding::kWindows1252};
  }
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    const bool bigEndian = bytes[0] == '\xFE';
    return {Utf16ToUtf8(bytes.substr(2), bigEndian), TextEncoding::kUtf16};
  }
  if (IsValidUtf8(bytes)) return {std::string(bytes), TextEncoding::kUtf8};
  return {Windows1252ToUtf8(bytes), TextEncoding::kWindows1252};
}

IniDocument IniDocument::Parse(std::string_view utf8Text) {
  IniDocument document;
  const std::size_t firstBreak = utf8Text.find('\n');
  if (firstBreak != std::string_view::npos && firstBreak > 0 && utf8Text[firstBreak - 1] == '\r') {
    document.newline_ = "\r\n";
  }
  std::size_t start = 0;
  while (start < utf8Text.size()) {
    std::size_t end = utf8Text.find('\n', start);
    if (end == std::string_view::npos) end = utf8Text.size();
    std::string_view line = utf8Text.substr(start, end - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    document.lines_.emplace_back(line);
    start = end + 1;
  }
  return document;
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const {
  bool inSection = false;
  bool seenSection = false;
  for (const std::string& line : lines_) {
    if (const auto name = SectionName(line)) {
      // Only the first section of that name counts.
      if (inSection) return std::nullopt;
      inSection = !seenSection && EqualsNoCase(*name, section);
      seenSection = seenSection || inSection;
      continue;
    }
    std::string_view value;
    if (inSection && IsKeyLine(line, key, &value)) return std::string(value);
  }
  return std::nullopt;
}

std::string IniDocument::ReadString(std::string_view section, std::string_view key,
                                    std::string_view fallback) const {
  auto value = Get(section, key);
  return value ? std::move(*value) : std::string(fallback);
}

int IniDocument::ReadInteger(std::string_view section, std::string_view key, int fallback) const {
  const auto value = Get(section, key);
  if (!value) return fallback;
  std::string_view text = *value;
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) return fallback;
  long long number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, base);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return fallback;
  if (negative) number = -number;
  if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max()) {
    return fallback;
  }
  return static_cast<int>(number);
}

bool IniDocument::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  if (value.find_first_of("\r\n") != std::string_view::npos ||
      key.find_first_of("\r\n=") != std::string_view::npos) {
    throw std::invalid_argument("A settings value cannot hold a line break.");
  }
  std::optional<std::size_t> sectionLine;
  std::size_t lastContent = 0;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (const auto name = SectionName(lines_[i])) {
      if (sectionLine) break;
      if (EqualsNoCase(*name, section)) {
        sectionLine = i;
        lastContent = i;
      }
      continue;
    }
    if (!sectionLine) continue;
    if (IsKeyLine(lines_[i], key)) {
      // Keep the key as the file spells it; only the value changes.
      const std::string_view line = lines_[i];
      lines_[i] = std::string(Trim(line.substr(0, line.find('=')))) + "=" + std::string(value);
      return;
    }
    if (!Trim(lines_[i]).empty()) lastContent = i;
  }
  std::string line = std::string(key) + "=" + std::string(value);
  if (sectionLine) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastContent + 1), std::move(line));
    return;
  }
  lines_.push_back("[" + std::string(section) + "]");
  lines_.push_back(std::move(line));
}

std::string IniDocument::Text() const {
  std::string text = withByteOrderMark ? "\xEF\xBB\xBF" : "";
  for (const std::string& line : lines_) {
    text += line;
    text += newline_;
  }
  return text;
}

std::optional<std::string> ReadFileBytes(const std::filesystem::path& path) {
#ifdef _WIN32
  const int fd = ::_wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
#else
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
#endif
  // errno values: the generic category (the system one means Win32 codes on Windows).
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    throw std::system_error(errno, std::generic_category(), path.string());
  }
  std::string bytes;
  std::array<char, 65536> buffer;
  for (;;) {
    const ssize_t count = ::read(fd, buffer.data(), buffer.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      throw std::system_error(error, std::generic_category(), path.string());
    }
    if (count == 0) break;
    bytes.append(buffer.data(), static_cast<std::size_t>(count));
  }
  ::close(fd);
  return bytes;
}

IniFileContent ReadIniFile(const std::filesystem::path& path) {
  IniFileContent content;
  std::optional<std::string> bytes;
  try {
    bytes = ReadFileBytes(path);
  } catch (const std::system_error&) {
    // An unreadable file gives the defaults, as a missing one does.
    return content;
  }
  if (!bytes) return content;
  DecodedText decoded = DecodeText(*bytes);
  content.document = IniDocument::Parse(decoded.text);
  content.document.withByteOrderMark = decoded.encoding == TextEncoding::kUtf8WithBom;
  content.encoding = decoded.encoding;
  content.exists = true;
  return content;
}

void WriteIniValues(const std::filesystem::path& path, std::string_view section,
                    const std::vector<std::pair<std::string, std::string>>& values) {
  std::optional<std::string> bytes;
  try {
    bytes = ReadFileBytes(path);
  } catch (const std::system_error& error) {
    throw SettingsWriteError(path, error.code().message());
  }
  IniDocument document;
  if (bytes) {
    DecodedText decoded = DecodeText(*bytes);
    document = IniDocument::Parse(decoded.text);
    document.withByteOrderMark = decoded.encoding == TextEncoding::kUtf8WithBom;
  }
  for (const auto& [key, value] : values) document.Set(section, key, value);
  WriteFileAtomically(path, document.Text());
}

#ifdef _WIN32

void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
  auto fail = [&path](DWORD error) {
    throw SettingsWriteError(path, std::system_category().message(static_cast<int>(error)));
  };
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  // The private-profile functions refuse a read-only file; replacing it would not.
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    fail(ERROR_ACCESS_DENIED);

  const std::filesystem::path folder =
      path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  std::filesystem::path temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (unsigned attempt = 0; file == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = folder / (L"." + path.filename().wstring() + L"." +
                          std::to_wstring(::GetCurrentProcessId()) + L"." +
                          std::to_wstring(::GetTickCount64() + attempt));
    file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && (::GetLastError() != ERROR_FILE_EXISTS || attempt == 100)) {
      fail(::GetLastError());
    }
  }
  auto discard = [&](DWORD error) {
    ::CloseHandle(file);
    ::DeleteFileW(temporary.c_str());
    fail(error);
  };
  std::size_t written = 0;
  while (written < bytes.size()) {
    DWORD count = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1 << 20));
    if (!::WriteFile(file, bytes.data() + written, chunk, &count, nullptr))
      discard(::GetLastError());
    written += count;
  }
  if (!::FlushFileBuffers(file)) discard(::GetLastError());
  ::CloseHandle(file);
  if (!::MoveFileExW(temporary.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = ::GetLastError();
    ::DeleteFileW(temporary.c_str());
    fail(error);
  }
}

#else

void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
  // Write through a symbolic link to the file it names, leaving the link in place.
  std::filesystem::path target = path;
  std::error_code ignored;
  for (int depth = 0; depth < 16 && std::filesystem::is_symlink(target, ignored); ++depth) {
    const std::filesystem::path link = std::filesystem::read_symlink(target, ignored);
    if (ignored) break;
    target = link.is_absolute() ? link : target.parent_path() / link;
  }

  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  // The private-profile functions refuse a write-protected file; renaming over it would not.
  if (exists && ::access(target.c_str(), W_OK) != 0)
    throw SettingsWriteError(path, ErrorText(errno));

  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) throw SettingsWriteError(path, ErrorText(errno));

  auto fail = [&](int error) {
    ::close(fd);
    ::unlink(temporary.c_str());
    throw SettingsWriteError(path, ErrorText(error));
  };
  const mode_t mode = exists ? (existing.st_mode & 07777) : (0666 & ~CurrentUmask());
  if (::fchmod(fd, mode) != 0) fail(errno);
  if (exists && ::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
    // Only root may hand a file to its owner (a run under sudo); anyone else writes their own.
  }
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (count < 0) {
      if (errno == EINTR) continue;
      fail(errno);
    }
    written += static_cast<std::size_t>(count);
  }
  if (::fsync(fd) != 0) fail(errno);
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    throw SettingsWriteError(path, ErrorText(error));
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    throw SettingsWriteError(path, ErrorText(error));
  }
  // Make the rename itself durable; a failure here leaves a complete file either way.
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
}

#endif

}  // namespace quorvane::connection
