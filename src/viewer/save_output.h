#pragma once

#include <QString>
#include <string_view>

namespace quorvane::viewer {

// The save dialog's filters.
inline constexpr const char* kSaveFilters = "HTM files (*.htm);;HTML files (*.html)";

// Writes the report to `path` beside it first and renames it into place only when complete,
// so that a failed write never leaves a truncated file under the chosen name. The file is
// readable by its owner only. Throws std::runtime_error saying why.
void SaveReportFile(const QString& path, std::string_view text);

}  // namespace quorvane::viewer
