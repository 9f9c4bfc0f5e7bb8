#include "shell/save_name.h"

#include "report/report_name.h"

namespace quorvane::shell {

std::string InitialSaveFolder(const std::string& applicationFolder,
                              const std::string& lastReportFolder,
                              const std::string& defaultReportFolder,
                              const std::function<bool(const std::string&)>& isFolder) {
  std::string folder;
  for (const std::string* candidate :
       {&applicationFolder, &lastReportFolder, &defaultReportFolder}) {
    if (!candidate->empty() && isFolder(*candidate)) folder = *candidate;
  }
  return folder;
}

std::string ProposedSaveName(std::string_view serverText, const data::DateTime& startTime) {
  return report::ProposedReportName(serverText, startTime);
}

std::string FolderWithSeparator(const std::filesystem::path& savedFile) {
  std::filesystem::path folder =
      std::filesystem::absolute(savedFile).lexically_normal().parent_path();
  folder.make_preferred();
  std::string text = folder.string();
  const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
  if (text.empty() || text.back() != separator) text += separator;
  return text;
}

}  // namespace quorvane::shell
