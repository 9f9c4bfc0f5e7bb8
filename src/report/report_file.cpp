#include "report/report_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quorvane::report {

namespace {

std::filesystem::path TemporaryBase() {
#ifndef _WIN32
  // XDG_RUNTIME_DIR is the desktop session's own private folder, where nobody else can plant
  // a link.
  for (const char* name : {"TEMP", "XDG_RUNTIME_DIR", "TMPDIR"}) {
    if (const char* value = std::getenv(name); value && *value) return value;
  }
#endif
  // On Windows: TMP or TEMP, read as UTF-16 (the narrow environment is in the ANSI code page).
  return std::filesystem::temp_directory_path();
}

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& path) {
  throw std::runtime_error(what + " " + path.string() + ": " + std::strerror(errno));
}

}  // namespace

#ifndef _WIN32

std::filesystem::path PrivateTemporaryFolder() {
  const std::filesystem::path folder =
      TemporaryBase() / ("quorvane-" + std::to_string(static_cast<unsigned long>(::getuid())));
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) Fail("Cannot create folder", folder);
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) Fail("Cannot read folder", folder);
  if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid() || (info.st_mode & 077) != 0) {
    throw std::runtime_error("Refusing to use " + folder.string() +
                             ": it is not a private folder of this user (a link, another "
                             "owner, or open to others)");
  }
  return folder;
}

void WriteReportFile(const std::filesystem::path& path, std::string_view text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) Fail("Cannot create file", path);
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int saved = errno;
      ::close(fd);
      errno = saved;
      Fail("Cannot write file", path);
    }
    written += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) Fail("Cannot write file", path);
}

#else

std::filesystem::path PrivateTemporaryFolder() {
  // The user's own TEMP is private on Windows.
  return TemporaryBase();
}

void WriteReportFile(const std::filesystem::path& path, std::string_view text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) Fail("Cannot write file", path);
}

#endif

std::string FileUrl(const std::filesystem::path& path) {
  std::string generic = std::filesystem::absolute(path).generic_string();
  if (!generic.empty() && generic.front() != '/') generic.insert(generic.begin(), '/');
  std::string url = "file://";
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (unsigned char c : generic) {
    const bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      std::strchr("/-._~:", c) != nullptr;
    if (safe && c != '\0') {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  return url;
}

}  // namespace quorvane::report
