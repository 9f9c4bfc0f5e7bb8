#include "connection/freetds_config.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

#include "connection/connection_string.h"
#include "connection/ini_file.h"
#include "data/path_text.h"
#include "report/report_file.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#include "data/wide_text.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace quorvane::connection {

namespace {

constexpr const char* kVariable = "FREETDSCONF";
// FreeTDS reads a line of its file into 256 bytes, the line end included.
constexpr std::size_t kMaxLine = 254;

std::string SectionName(std::size_t index) {
  return "quorvane-" + std::to_string(index + 1);
}

// One "key = value" line, or an error when FreeTDS would read the value otherwise: it ends a
// value at ";" or "#", joins runs of blanks and cuts long lines.
std::string Line(const std::string& key, const std::string& value, const std::string& what) {
  const bool unreadable =
      value.empty() || value.front() == ' ' || value.back() == ' ' ||
      value.find("  ") != std::string::npos || value.find_first_of(";#") != std::string::npos ||
      std::any_of(value.begin(), value.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
  std::string line = key + " = " + value;
  if (unreadable || line.size() > kMaxLine) {
    throw ConnectionStringError(
        "The " + what + " \"" + value +
        "\" cannot be written into FreeTDS's configuration file, which has no quoting: it must "
        "not hold \";\", \"#\", control characters or two blanks in a row, nor begin or end "
        "with a blank, and must be at most " +
        std::to_string(kMaxLine - key.size() - 3) + " characters long.");
  }
  return line + "\n";
}

std::string SectionText(const FreeTdsSection& s, std::size_t index) {
  std::string text = "[" + SectionName(index) + "]\n";
  text += Line("host", s.host, "server name");
  if (s.port) {
    text += Line("port", std::to_string(*s.port), "port");
  } else if (!s.instance.empty()) {
    text += Line("instance", s.instance, "instance name");
  }
  text += "tds version = 7.4\n";
  text += "encryption = require\n";
  text += Line("ca file", s.caFile, "certificate file");
  text += "check certificate hostname = yes\n";
  return text;
}

[[noreturn]] void WriteFailed(const std::filesystem::path& path, int error) {
  throw ConnectionStringError("Cannot write FreeTDS's configuration file " +
                              data::Utf8FromPath(path) + ": " + std::strerror(error));
}

int ProcessId() {
#ifdef _WIN32
  return ::_getpid();
#else
  return static_cast<int>(::getpid());
#endif
}

}  // namespace

std::unique_ptr<FreeTdsConfig> FreeTdsConfig::ForThisProcess() {
  std::filesystem::path folder;
  try {
    folder = report::PrivateTemporaryFolder();
  } catch (const std::exception&) {
    return nullptr;
  }
  std::string inherited;
  const std::filesystem::path path = folder / ("freetds-" + std::to_string(ProcessId()) + ".conf");
  // A file the user named keeps its sections: copied, it is read as before.
  if (const char* earlier = std::getenv(kVariable); earlier && *earlier) {
    inherited = ReadFileBytes(data::PathFromUtf8(earlier)).value_or("");
    if (!inherited.empty() && inherited.back() != '\n') inherited += '\n';
  }
#ifdef _WIN32
  // The C runtime's copy of the environment, which a FreeTDS DLL reads, and Windows' own.
  const std::wstring assignment = data::WideFromUtf8(kVariable) + L"=" + path.wstring();
  if (::_wputenv(assignment.c_str()) != 0) return nullptr;
#else
  if (::setenv(kVariable, path.c_str(), 1) != 0) return nullptr;
#endif
  return std::make_unique<FreeTdsConfig>(path, std::move(inherited));
}

FreeTdsConfig::FreeTdsConfig(std::filesystem::path path, std::string inherited)
    : path_(std::move(path)), inherited_(std::move(inherited)) {}

FreeTdsConfig::~FreeTdsConfig() {
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
}

std::string FreeTdsConfig::Add(const FreeTdsSection& section) {
  const std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    if (sections_[i] == section) return SectionName(i);
  }
  SectionText(section, sections_.size());  // refuses what the file cannot hold
  sections_.push_back(section);
  try {
    Write();
  } catch (...) {
    sections_.pop_back();
    throw;
  }
  return SectionName(sections_.size() - 1);
}

void FreeTdsConfig::Write() const {
  std::string text = inherited_;
  for (std::size_t i = 0; i < sections_.size(); ++i) text += SectionText(sections_[i], i);

  // Written beside and renamed over, so that a connection opening meanwhile on another thread
  // reads the old file or the new one, never half of one.
  std::filesystem::path temporary = path_;
  temporary += "." + std::to_string(std::random_device{}()) + ".tmp";
#ifdef _WIN32
  const int fd =
      ::_wopen(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
  const int fd =
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
#endif
  if (fd < 0) WriteFailed(path_, errno);
  std::size_t written = 0;
  while (written < text.size()) {
#ifdef _WIN32
    const int n = ::_write(fd, text.data() + written, static_cast<unsigned>(text.size() - written));
#else
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
#endif
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
#ifdef _WIN32
      ::_close(fd);
#else
      ::close(fd);
#endif
      std::filesystem::remove(temporary);
      WriteFailed(path_, error);
    }
    written += static_cast<std::size_t>(n);
  }
#ifdef _WIN32
  ::_close(fd);
#else
  ::close(fd);
#endif
  std::error_code error;
  std::filesystem::rename(temporary, path_, error);
  if (error) {
    std::filesystem::remove(temporary, error);
    throw ConnectionStringError("Cannot write FreeTDS's configuration file " +
                                data::Utf8FromPath(path_) + ": " + error.message());
  }
}

}  // namespace quorvane::connection
