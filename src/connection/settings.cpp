#include "connection/settings.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "data/wide_text.h"
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "connection/ini_file.h"
#include "data/path_text.h"
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
  settings.encrypt = EncryptMode::kOptional;
  settings.trustServerCertificate = false;
  settings.findings = false;
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
  // A file from before encryption could be chosen has neither key: the default, as then.
  s.encrypt =
      ParseEncryptMode(file.ReadString(kSection, "Encrypt", "")).value_or(EncryptMode::kOptional);
  s.trustServerCertificate = file.ReadBool(kSection, "TrustServerCertificate", false);
  s.findings = file.ReadBool(kSection, "Findings", false);

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
                 {"JobHistoryLimit", std::to_string(ClampJobHistory(s.jobHistoryLimit))},
                 {"Encrypt", std::string(EncryptModeName(s.encrypt))},
                 {"TrustServerCertificate", Bool(s.trustServerCertificate)},
                 {"Findings", Bool(s.findings)}});
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
#ifdef _WIN32
  // The narrow environment is in the ANSI code page; the wide one holds every name.
  const wchar_t* value = ::_wgetenv(data::WideFromUtf8(name).c_str());
  if (!value) return std::nullopt;
  return data::Utf8FromWide(value);
#else
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
#endif
}

SettingsLocation ChooseSettingsLocation(const std::filesystem::path& applicationFolder,
                                        bool applicationFolderWritable,
                                        const EnvironmentLookup& environment) {
  SettingsLocation location{applicationFolder, applicationFolder / kSettingsFileName, false};
  if (applicationFolderWritable) return location;
#ifdef _WIN32
  const auto appData = environment("APPDATA");
  if (!appData || appData->empty()) return location;
  const std::filesystem::path base = data::PathFromUtf8(*appData) / "Quorvane";
#else
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
  base /= "quorvane";
#endif
  location.file = base / kSettingsFileName;
  location.perUser = true;
  return location;
}

SettingsLocation LocateSettings(const std::filesystem::path& applicationFolder,
                                const EnvironmentLookup& environment) {
  const std::filesystem::path file = applicationFolder / kSettingsFileName;
  std::error_code error;
  const bool writable = IsFolderWritable(applicationFolder) &&
#ifdef _WIN32
                        (!std::filesystem::exists(file, error) || ::_waccess(file.c_str(), 2) == 0);
#else
                        (!std::filesystem::exists(file, error) ||
                         ::access(file.c_str(), W_OK) == 0);
#endif
  return ChooseSettingsLocation(applicationFolder, writable, environment);
}

bool IsFolderWritable(const std::filesystem::path& folder) {
#ifdef _WIN32
  const std::filesystem::path probe =
      folder / (L".quorvane-write-test." + std::to_wstring(::GetCurrentProcessId()));
  const HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(file);
  return true;
#else
  std::string probe = (folder / ".quorvane-write-test.XXXXXX").string();
  const int fd = ::mkstemp(probe.data());
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
#endif
}

std::filesystem::path ExecutableFolder() {
#ifdef _WIN32
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length < name.size()) {
      name.resize(length);
      break;
    }
    name.resize(name.size() * 2);
  }
  return std::filesystem::path(name).parent_path();
#else
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
#endif
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
