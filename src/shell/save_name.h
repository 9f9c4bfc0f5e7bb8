// Saving the report. WindowCore::SaveOutput asks WindowView::ChooseSaveFile with the folder and
// name proposed here; a front-end only runs its save dialog.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "data/date_time.h"

namespace quorvane::shell {

// The folder the save dialog first opens in: the default report folder, else the last report
// folder, else the application folder; one that is not an existing folder is skipped.
std::string InitialSaveFolder(const std::string& applicationFolder,
                              const std::string& lastReportFolder,
                              const std::string& defaultReportFolder,
                              const std::function<bool(const std::string&)>& isFolder);

// The file name proposed for the report of `serverText` started at `startTime`.
std::string ProposedSaveName(std::string_view serverText, const data::DateTime& startTime);

// The folder of a saved file as LastReportPath keeps it: absolute, native separators, with a
// trailing separator.
std::string FolderWithSeparator(const std::filesystem::path& savedFile);

}  // namespace quorvane::shell
