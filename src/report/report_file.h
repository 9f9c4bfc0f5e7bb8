#pragma once

#include <filesystem>
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

// Writes `text` to `path`, creating or replacing the file, without following a symbolic link in
// the last component. Throws std::runtime_error with the system's reason on failure.
void WriteReportFile(const std::filesystem::path& path, std::string_view text);

// "file://" + the absolute path, with characters that are not safe in a URL percent-encoded.
std::string FileUrl(const std::filesystem::path& path);

}  // namespace quorvane::report
