#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "connection/encryption.h"
#include "connection/server_list.h"

namespace quorvane::connection {

inline constexpr std::string_view kSettingsFileName = "SQLServerQuorvane.ini";
inline constexpr std::string_view kSettingsSection = "SQLServerQuorvane";
inline constexpr std::string_view kOldSettingsFileName = "SQLServerQuorva.ini";
inline constexpr std::string_view kDefaultConnectionTimeout = "15";
inline constexpr std::string_view kDefaultConnectionProvider = "SQLOLEDB.1";
inline constexpr int kDefaultJobHistory = 100;
inline constexpr int kDefaultJobHistoryLimit = 20;
inline constexpr int kMinJobHistory = 1;
inline constexpr int kMaxJobHistory = 1000;

// The window's normal-state placement in pixels.
struct WindowPlacement {
  int top = 0;
  int left = 0;
  int height = 0;
  int width = 0;
  bool operator==(const WindowPlacement&) const = default;
};

// Everything the settings file holds, as values. The window fills it from its controls before
// a save and applies it after loading; the report command reads it directly.
struct Settings {
  std::string curServer;  // the server box's text, exactly as shown
  bool allowOACreate = true;
  bool allowCmdShell = true;
  bool ignoreReplicationSection = false;
  ServerList servers;
  bool isMaximized = false;
  WindowPlacement placement;
  std::string lastReportPath;
  std::string reportPath;
  std::string connectionTimeout{kDefaultConnectionTimeout};  // the timeout field's text
  std::string connectionProvider{kDefaultConnectionProvider};
  int jobHistory = kDefaultJobHistory;
  int jobHistoryLimit = kDefaultJobHistoryLimit;
  EncryptMode encrypt = EncryptMode::kOptional;  // `Encrypt`
  bool trustServerCertificate = false;           // `TrustServerCertificate`
  bool findings = false;                         // `Findings`: the report's Findings section
  bool operator==(const Settings&) const = default;
};

// The job-history fields hold 1 to 1000 only.
int ClampJobHistory(int rows);

// `DefaultSettingsBitBtnClick`: the Settings tab's values back to their defaults. The report
// folder, the server list and the window placement stay.
void DefaultSettingsBitBtnClick(Settings& settings);

struct LoadedSettings {
  Settings settings;           // curServer already restored: empty unless it is listed
  bool windowsAuthentication;  // the state of the Windows-authentication box
};

// The settings file in use, with the operations of the main window that read and write it.
class SettingsFile {
 public:
  explicit SettingsFile(std::filesystem::path path) : path_(std::move(path)) {}
  const std::filesystem::path& Path() const { return path_; }

  // `LoadSettings`: every key with its default; a missing placement key keeps `current`. The
  // server list is built from `Servers` and the current server restored if it is listed.
  LoadedSettings LoadSettings(const WindowPlacement& current) const;

  // `SaveSettings`: all nineteen keys in one atomic write (placement only when not maximized).
  // Throws SettingsWriteError.
  void SaveSettings(const Settings& settings) const;

  // `SaveCurrentState`: server list, current server, placement and last report folder; the
  // Settings tab's values are not written. Inert, returning false, until the main window's first
  // show has completed. Throws SettingsWriteError.
  bool SaveCurrentState(const Settings& settings) const;

  void SetFirstShowCompleted() { firstShowCompleted_ = true; }
  bool FirstShowCompleted() const { return firstShowCompleted_; }

 private:
  void Write(const std::vector<std::pair<std::string, std::string>>& values) const;

  std::filesystem::path path_;
  bool firstShowCompleted_ = false;
};

// Where the settings live. The application folder holds them unless it (or the file in it) is
// not writable, as in a system-wide installation; then the per-user configuration folder does.
struct SettingsLocation {
  std::filesystem::path applicationFolder;
  std::filesystem::path file;  // the file in use; say which in the user interface
  bool perUser = false;
  bool operator==(const SettingsLocation&) const = default;
};

// Values in UTF-8, also on Windows.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;
std::optional<std::string> SystemEnvironment(const char* name);

// The per-user folder is $XDG_CONFIG_HOME/quorvane, else $HOME/.config/quorvane; on Windows
// %APPDATA%\Quorvane. Without any, the application folder stays in use (and its writes fail with
// "Unable to write to").
SettingsLocation ChooseSettingsLocation(const std::filesystem::path& applicationFolder,
                                        bool applicationFolderWritable,
                                        const EnvironmentLookup& environment);
// The same, testing the application folder by creating a file in it.
SettingsLocation LocateSettings(const std::filesystem::path& applicationFolder,
                                const EnvironmentLookup& environment = SystemEnvironment);

// True when a file can be created in `folder` (which also covers read-only file systems and
// access-control lists, where permission bits mislead).
bool IsFolderWritable(const std::filesystem::path& folder);

// The folder of the running executable.
std::filesystem::path ExecutableFolder();

// `RenameSettings`: when the file in use does not exist yet, creates it once, from the
// application folder's settings file when the per-user folder is in use, otherwise from the old
// "SQLServerQuorva.ini" with its section renamed. The source file is never changed. Returns
// true when it created the file. Throws SettingsWriteError, or std::system_error for an
// unreadable source; the caller may go on with LoadSettings (the defaults) after either.
bool RenameSettings(const SettingsLocation& location);

}  // namespace quorvane::connection
