#include "report/report_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>
#include <system_error>

#include "data/path_text.h"
#include "report/fatal_signal.h"
#include "report/text.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
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

}  // namespace

#ifndef _WIN32

namespace {

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& path) {
  throw std::runtime_error(what + " " + path.string() + ": " + std::strerror(errno));
}

}  // namespace

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

#else

std::filesystem::path PrivateTemporaryFolder() {
  // The user's own TEMP is private on Windows.
  return TemporaryBase();
}

#endif

namespace {

// A name beside the target that no other writer picks: ".<name>.<random>.tmp".
std::filesystem::path UnfinishedName(const std::filesystem::path& target, unsigned attempt) {
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::random_device random;
  std::string suffix;
  for (int i = 0; i < 8; ++i) suffix += kDigits[(random() + attempt) % 36];
  std::filesystem::path name = target;
  name.replace_filename(
      data::PathFromUtf8("." + data::Utf8FromPath(target.filename()) + "." + suffix + ".tmp"));
  return name;
}

}  // namespace

ReportFileWriter::ReportFileWriter(std::filesystem::path target, CrashGuard guard)
    : target_(std::move(target)), guarded_(guard == CrashGuard::kOn) {
  if (target_.empty() || !target_.has_filename()) {
    throw ReportWriteError("Cannot write the report to \"" + data::Utf8FromPath(target_) +
                           "\": that is not a file name");
  }
  for (unsigned attempt = 0; fd_ < 0; ++attempt) {
    unfinished_ = UnfinishedName(target_, attempt);
#ifdef _WIN32
    fd_ = ::_wopen(unfinished_.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                   _S_IREAD | _S_IWRITE);
#else
    // Owner only: the report lists logins, configuration and host details.
    fd_ = ::open(unfinished_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
#endif
    if (fd_ < 0 && (errno != EEXIST || attempt == 100)) {
      const int error = errno;
      throw ReportWriteError("Cannot create the report file in " +
                             data::Utf8FromPath(target_.parent_path()) + ": " +
                             std::strerror(error));
    }
  }
  if (guarded_) fatal_signal::Guard(fd_, unfinished_, target_, {buffer_.get(), &buffered_});
}

ReportFileWriter::~ReportFileWriter() {
  if (fd_ < 0) return;
  CloseFile();
  std::error_code ignored;  // nothing to report from a destructor: the file was never finished
  std::filesystem::remove(unfinished_, ignored);
}

void ReportFileWriter::CloseFile() {
  if (guarded_) fatal_signal::Release(fd_);
#ifdef _WIN32
  ::_close(fd_);
#else
  ::close(fd_);
#endif
  fd_ = -1;
}

void ReportFileWriter::Fail(const std::string& what, int error) {
  throw ReportWriteError(what + " " + data::Utf8FromPath(target_) + ": " + std::strerror(error));
}

void ReportFileWriter::Append(std::string_view text) {
  if (fd_ < 0) throw std::logic_error("report file appended to after it was finished");
  const std::size_t held = buffered_.load(std::memory_order_relaxed);
  if (text.size() <= kBufferSize - held) {
    std::memcpy(buffer_.get() + held, text.data(), text.size());
    buffered_.store(held + text.size(), std::memory_order_release);
    return;
  }
  Flush();
  if (text.size() < kBufferSize) {
    std::memcpy(buffer_.get(), text.data(), text.size());
    buffered_.store(text.size(), std::memory_order_release);
  } else {
    WriteOut(text);
  }
}

void ReportFileWriter::Flush() {
  const std::size_t held = buffered_.load(std::memory_order_relaxed);
  if (held == 0) return;
  WriteOut(std::string_view(buffer_.get(), held));
  buffered_.store(0, std::memory_order_release);
#ifdef __linux__
  // Starts putting what was written on the disk now, without waiting for it, so that the
  // commit's flush has little left to wait for. Only a hint: its failure changes nothing.
  ::sync_file_range(fd_, static_cast<off_t>(onDisk_), static_cast<off_t>(writtenOut_ - onDisk_),
                    SYNC_FILE_RANGE_WRITE);
  onDisk_ = writtenOut_;
#endif
}

void ReportFileWriter::WriteOut(std::string_view text) {
  while (!text.empty()) {
#ifdef _WIN32
    const int n = ::_write(fd_, text.data(),
                           static_cast<unsigned>(std::min<std::size_t>(text.size(), 1u << 30)));
#else
    const ssize_t n = ::write(fd_, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
#endif
    if (n < 0) Fail("Cannot write the report", errno);
    text.remove_prefix(static_cast<std::size_t>(n));
    writtenOut_ += static_cast<std::uint64_t>(n);
  }
}

void ReportFileWriter::Commit() {
  if (fd_ < 0) throw std::logic_error("report file committed twice");
  Flush();
#ifdef _WIN32
  if (::_commit(fd_) != 0) Fail("Cannot write the report", errno);
  const int fd = fd_;
  if (guarded_) fatal_signal::Release(fd);
  fd_ = -1;
  if (::_close(fd) != 0) Fail("Cannot write the report", errno);
  if (!::MoveFileExW(unfinished_.c_str(), target_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const int error = static_cast<int>(::GetLastError());
    std::error_code ignored;
    std::filesystem::remove(unfinished_, ignored);
    throw ReportWriteError("Cannot replace " + data::Utf8FromPath(target_) + ": " +
                           std::system_category().message(error));
  }
#else
  // A full disk shows at the latest here, before the old report is given up.
  if (::fsync(fd_) != 0 && errno != EINVAL) Fail("Cannot write the report", errno);
  const int fd = fd_;
  if (guarded_) fatal_signal::Release(fd);
  fd_ = -1;
  if (::close(fd) != 0) Fail("Cannot write the report", errno);
  if (::rename(unfinished_.c_str(), target_.c_str()) != 0) {
    const int error = errno;
    std::error_code ignored;
    std::filesystem::remove(unfinished_, ignored);
    Fail("Cannot replace", error);
  }
#endif
}

void ReportFileWriter::SetCrashEnding(std::string_view before, std::string_view after) {
  if (fd_ >= 0 && guarded_) fatal_signal::SetEnding(before, after);
}

void WriteReportFile(const std::filesystem::path& path, std::string_view text) {
  ReportFileWriter writer(path);
  writer.Append(text);
  writer.Commit();
}

std::string FileUrl(const std::filesystem::path& path) {
  std::string generic = std::filesystem::absolute(path).generic_string();
  if (!generic.empty() && generic.front() != '/') generic.insert(generic.begin(), '/');
  return "file://" + PercentEncode(generic, "/-._~:");
}

}  // namespace quorvane::report
