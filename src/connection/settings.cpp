#include "connection/settings.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "connection/ini_file.h"
#include "report/text.h"

namespace quorvane::connection {

namespace {

const std::string kSection{kSettingsSection};

std::string Bool(bool value) {
  return value ? "1" : "0";
}

std::string Newline(std::string_view text) {
  const std::size_t at = text.find('\n');
  return at != std::string_view::npos && at > 0 && text[at - 1] == '\r' ? "\r\n" : "\n";
}

void CreateFolderFor(const std::filesystem::path& file) {
  const std::filesystem::path folder = file.parent_path();
  std::error_code error;
  if (folder.empty() || std::filesystem::exists(folder, error)) return;
  std::filesystem::create_directories(folder, error);
  if (error) throw SettingsWriteError(file, error.message());
}

// Copies a settings file to `target` as UTF-8, with every line as it was except where
// `[SQLServerQuorva]` becomes `[SQLServerQuorvane]` (a file that already has the new section
// is copied unchanged).
void Migrate(const std::filesystem::path& source, const std::filesystem::path& target) {
  const std::optional<std::string> bytes = ReadFileBytes(source);
  if (!bytes) return;
  const DecodedText decoded = DecodeText(*bytes);
  std::vector<std::string> lines = IniDocument::Parse(decoded.text).Lines();
  report::ReplaceInStrings("[SQLServerQuorva]", "[SQLServerQuorvane]", lines);
  const std::string newline = Newline(decoded.text);
  std::string text;
  for (const std::string& line : lines) text += line + newline;
  CreateFolderFor(target);
  WriteFileAtomically(target, text);
}

}  // namespace

int ClampJobHistory(int rows) {
  return std::clamp(rows, kMinJobHistory, kMaxJobHistory);
}

void DefaultSettingsBitBtnClick(Settings& settings) {
  settings.connectionTimeout = std::string(kDefaultConnectionTimeout);
  settings.connectionProvider = std::string(kDefaultConnectionProvider);
  settings.allowOACreate = true;
  settings.allowCmdShell = true;
  settings.ignoreReplicationSection = false;
  settings.jobHistory = kDefaultJobHistory;
  settings.jobHistoryLimit = kDefaultJobHistoryLimit;
}

LoadedSettings SettingsFile::LoadSettings(const WindowPlacement& current) const {
  const IniDocument file = ReadIniFile(path_).document;
  LoadedSettings loaded{{}, true};
  Settings& s = loaded.settings;
  s.curServer = file.ReadString(kSection, "CurServer", "");
  s.allowOACreate = file.ReadBool(kSection, "AllowOACreate", true);
  s.allowCmdShell = file.ReadBool(kSection, "AllowCmdShell", true);
  s.ignoreReplicationSection = file.ReadBool(kSection, "IgnoreReplicationSection", false);
  const std::string servers = file.ReadString(kSection, "Servers", "");
  s.isMaximized = file.ReadBool(kSection, "isMaximized", false);
  s.placement.top = file.ReadInteger(kSection, "FormTop", current.top);
  s.placement.left = file.ReadInteger(kSection, "FormLeft", current.left);
  s.placement.height = file.ReadInteger(kSection, "FormHeight", current.height);
  s.placement.width = file.ReadInteger(kSection, "FormWidth", current.width);
  s.lastReportPath = file.ReadString(kSection, "LastReportPath", "");
  s.reportPath = file.ReadString(kSection, "ReportPath", "");
  s.connectionTimeout = file.ReadString(kSection, "ConnectionTimeout", kDefaultConnectionTimeout);
  s.connectionProvider =
      file.ReadString(kSection, "ConnectionProvider", kDefaultConnectionProvider);
  s.jobHistory = ClampJobHistory(file.ReadInteger(kSection, "JobHistory", kDefaultJobHistory));
  s.jobHistoryLimit =
      ClampJobHistory(file.ReadInteger(kSection, "JobHistoryLimit", kDefaultJobHistoryLimit));

  s.servers = ParseServers(servers);
  std::string login;
  if (const auto index = s.servers.Find(TrimBlanks(s.curServer))) {
    s.curServer = UpperCase(s.curServer);
    login = s.servers[*index].login.Text();
  } else {
    s.curServer.clear();
  }
  loaded.windowsAuthentication = TrimBlanks(login).empty();
  return loaded;
}

namespace {

// The placement keys, written only while the window is not maximized, so the file keeps the
// last normal placement.
void AppendPlacement(const Settings& s, std::vector<std::pair<std::string, std::string>>& values) {
  if (s.isMaximized) return;
  values.insert(values.end(), {{"FormTop", std::to_string(s.placement.top)},
                               {"FormLeft", std::to_string(s.placement.left)},
                               {"FormHeight", std::to_string(s.placement.height)},
                               {"FormWidth", std::to_string(s.placement.width)}});
}

}  // namespace

void SettingsFile::SaveSettings(const Settings& s) const {
  std::vector<std::pair<std::string, std::string>> values{
      {"CurServer", s.curServer},
      {"AllowOACreate", Bool(s.allowOACreate)},
      {"AllowCmdShell", Bool(s.allowCmdShell)},
      {"IgnoreReplicationSection", Bool(s.ignoreReplicationSection)},
      {"Servers", FormatServers(s.servers)},
      {"isMaximized", Bool(s.isMaximized)},
  };
  AppendPlacement(s, values);
  values.insert(values.end(),
                {{"LastReportPath", s.lastReportPath},
                 {"ReportPath", s.reportPath},
                 {"ConnectionTimeout", s.connectionTimeout},
                 {"ConnectionProvider", s.connectionProvider},
                 {"JobHistory", std::to_string(ClampJobHistory(s.jobHistory))},
                 {"JobHistoryLimit", std::to_string(ClampJobHistory(s.jobHistoryLimit))}});
  Write(values);
}

bool SettingsFile::SaveCurrentState(const Settings& s) const {
  if (!firstShowCompleted_) return false;
  std::vector<std::pair<std::string, std::string>> values{
      {"CurServer", s.curServer},
      {"Servers", FormatServers(s.servers)},
      {"isMaximized", Bool(s.isMaximized)},
  };
  AppendPlacement(s, values);
  values.emplace_back("LastReportPath", s.lastReportPath);
  Write(values);
  return true;
}

void SettingsFile::Write(const std::vector<std::pair<std::string, std::string>>& values) const {
  CreateFolderFor(path_);
  WriteIniValues(path_, kSection, values);
}

std::optional<std::string> SystemEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
}

SettingsLocation ChooseSettingsLocation(const std::filesystem::path& applicationFolder,
                                        bool applicationFolderWritable,
                                        const EnvironmentLookup& environment) {
  SettingsLocation location{applicationFolder, applicationFolder / kSettingsFileName, false};
  if (applicationFolderWritable) return location;
  std::filesystem::path base;
  // Relative values are invalid by the XDG rules and are ignored.
  if (const auto config = environment("XDG_CONFIG_HOME");
      config && !config->empty() && std::filesystem::path(*config).is_absolute()) {
    base = *config;
  } else if (const auto home = environment("HOME"); home && !home->empty()) {
    base = std::filesystem::path(*home) / ".config";
  } else {
    return location;
  }
  location.file = base / "quorvane" / kSettingsFileName;
  location.perUser = true;
  return location;
}

SettingsLocation LocateSettings(const std::filesystem::path& applicationFolder,
                                const EnvironmentLookup& environment) {
  const std::filesystem::path file = applicationFolder / kSettingsFileName;
  std::error_code error;
  const bool writable =
      IsFolderWritable(applicationFolder) &&
      (!std::filesystem::exists(file, error) || ::access(file.c_str(), W_OK) == 0);
  return ChooseSettingsLocation(applicationFolder, writable, environment);
}

bool IsFolderWritable(const std::filesystem::path& folder) {
  std::string probe = (folder / ".quorvane-write-test.XXXXXX").string();
  const int fd = ::mkstemp(probe.data());
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

std::filesystem::path ExecutableFolder() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

bool RenameSettings(const SettingsLocation& location) {
  std::error_code error;
  if (std::filesystem::exists(location.file, error)) return false;
  if (location.perUser) {
    const std::filesystem::path shared = location.applicationFolder / kSettingsFileName;
    if (std::filesystem::exists(shared, error)) {
      Migrate(shared, location.file);
      return true;
    }
  }
  const std::filesystem::path old = location.applicationFolder / kOldSettingsFileName;
  if (!std::filesystem::exists(old, error)) return false;
  Migrate(old, location.file);
  return true;
}

}  // namespace quorvane::connection
