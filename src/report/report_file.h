#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quorvane::report {

// The name of the file every run writes its report to.
inline constexpr const char* kTemporaryReportName = "~SQLServerQuorvane.htm";

// A folder only this user can use, under TEMP, XDG_RUNTIME_DIR, TMPDIR or the system's
// temporary folder (the first that is set): "quorvane-<user id>", created with mode 0700. A
// folder of that name that is a symbolic link, belongs to someone else or is open to others is
// refused with an error, since another user could then read or replace the report.
std::filesystem::path PrivateTemporaryFolder();

// The report file could not be created, written or put in place; the message gives the file
// and the system's reason.
class ReportWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes a report as it is built into a new file beside `target`, readable by its owner only,
// and puts it in place in one step when committed. Until then an existing file at `target` is
// untouched; a link there is replaced, never written through. The unfinished file is removed
// when the writer goes without a commit. While it is open, a fatal signal closes it with the
// crash ending and commits it (see SetCrashEnding).
class ReportFileWriter {
 public:
  // kOff: a file written beside the report (its snapshot) leaves the crash ending to the report.
  enum class CrashGuard { kOn, kOff };

  // Creates the unfinished file. Throws ReportWriteError.
  explicit ReportFileWriter(std::filesystem::path target, CrashGuard guard = CrashGuard::kOn);
  ~ReportFileWriter();
  ReportFileWriter(const ReportFileWriter&) = delete;
  ReportFileWriter& operator=(const ReportFileWriter&) = delete;

  // Buffered: the file is written in large blocks (a fatal signal writes what is still held).
  // Throws ReportWriteError; what was written before stays.
  void Append(std::string_view text);
  // Flushes the file to the disk and renames it over the target. Throws ReportWriteError.
  void Commit();

  // What a fatal signal appends before committing: `before`, the signal's name, `after`.
  void SetCrashEnding(std::string_view before, std::string_view after);

  const std::filesystem::path& Target() const { return target_; }
  // Accepted so far: in the file, or held to be written.
  std::uint64_t BytesWritten() const { return writtenOut_ + buffered_.load(); }

 private:
  static constexpr std::size_t kBufferSize = std::size_t{1} << 20;

  [[noreturn]] void Fail(const std::string& what, int error);
  void CloseFile();
  void Flush();
  void WriteOut(std::string_view text);

  std::filesystem::path target_;
  std::filesystem::path unfinished_;
  int fd_ = -1;
  bool guarded_ = true;
  std::uint64_t writtenOut_ = 0;  // in the file
  std::uint64_t onDisk_ = 0;      // where the disk's write-back was last started up to
  std::unique_ptr<char[]> buffer_ = std::make_unique_for_overwrite<char[]>(kBufferSize);
  std::atomic<std::size_t> buffered_{0};
};

// Writes `text` as the whole new content of `path` through a ReportFileWriter.
void WriteReportFile(const std::filesystem::path& path, std::string_view text);

// "file://" + the absolute path, with characters that are not safe in a URL percent-encoded.
std::string FileUrl(const std::filesystem::path& path);

}  // namespace quorvane::report
