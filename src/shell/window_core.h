// The main window's behaviour without a toolkit. A front-end creates one WindowCore with its
// WindowView, its UiPoster and the connection it owns, then forwards: its first show to
// FirstShow (and applies the placement), each control's event to the matching call below, its
// close to Close. Everything a window decides but does not draw happens here.
#pragma once

#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "connection/connect.h"
#include "connection/settings.h"
#include "data/connection.h"
#include "report/report_run.h"
#include "shell/login_prefill.h"
#include "shell/placement.h"
#include "shell/ui_poster.h"
#include "shell/window_view.h"

namespace quorvane::shell {

struct WindowCoreOptions {
  bool debugMode = false;
  connection::SettingsLocation settings;
  // Where every run writes its report; empty: the private temporary folder.
  std::filesystem::path temporaryReportFile;
  std::optional<DemoInstance> demo;
  // The process's private freetds.conf, without which FreeTDS cannot check a certificate.
  connection::FreeTdsConfig* freetds = nullptr;
  // The installed ODBC drivers; empty: none.
  connection::DriverLister installedDrivers;
  // Writes a saved report; empty: report::WriteReportFile. Throws saying why.
  std::function<void(const std::string& path, std::string_view text)> writeSavedReport;
  // How long closing waits for a running report to stop.
  int stopTimeoutMs = 1500;
};

// The minimum (and design) size of the main window's client area.
inline constexpr int kDesignWidth = 752;
inline constexpr int kDesignHeight = 537;

struct CloseResult {
  // The run would not stop in time: the process must end without destroying what it uses.
  bool runAbandoned = false;
};

class WindowCore {
 public:
  WindowCore(WindowView& view, UiPoster& poster, data::Connection& SQLServer,
             WindowCoreOptions options);
  ~WindowCore();
  WindowCore(const WindowCore&) = delete;
  WindowCore& operator=(const WindowCore&) = delete;

  // The first show: debug button, settings migration and reading, server list, the demo
  // instance. `design` is the window's placement before the settings move it.
  StartPlacement FirstShow(const connection::WindowPlacement& design, const ScreenFinder& screens);

  // --- The report tab
  void Connect();  // the Connect button, and Enter in the server box
  void ServerTextEdited(const std::string& text);
  void ServerPicked(std::size_t index);
  // Completion of a typed text: the index of the entry to pick.
  std::optional<std::size_t> Complete(const std::string& typed) const;
  void WindowsAuthenticationClicked();
  void RemoveServer();
  void RemoveAllServers();  // asks first
  void SaveOutput();

  // --- The Settings tab
  void SettingsEdited();  // any edit or click there
  void SaveSettings();
  void DefaultSettings();
  void ReportFolderChosen(const std::string& folder);

  // --- Closing and errors
  // Stops a running report (the statement cancelled, a bounded wait), deletes the temporary
  // report, saves the state and closes the connection. Only the first call acts.
  CloseResult Close();
  // The application-wide recovery for an error that escaped an event handler.
  void ApplicationError(const std::exception& error);

  // --- State, for the front-end and tests
  bool RunActive() const;
  bool RunAbandoned() const { return runAbandoned_; }
  const ReportTabEnabling& Enabling() const { return enabling_.Current(); }
  const connection::Settings& CurrentSettingsState() const { return settings_; }
  const connection::SettingsFile& SettingsFileInUse() const { return settingsFile_; }
  const connection::ServerList& Servers() const { return settings_.servers; }
  report::ReportRun& Run();
  const std::string& StatusText() const { return statusText_; }
  // For every status-bar text the core or the front-end shows.
  void SetStatusText(const std::string& text);

 private:
  class RunWorker;
  class ConnectAdapter;

  void ApplyLoadedSettings(const connection::LoadedSettings& loaded);
  connection::Settings CurrentSettings() const;
  void SaveCurrentState();
  void RefreshServerBox();
  void ForgetServerText();
  void SetWindowsAuthenticationAsClicked(bool ticked);
  void ShowEnabling();
  void RestoreIdle();
  void SetWaitCursor(bool on);
  void UpdateRunSettings();
  void RunEnded(std::exception_ptr failure);

  WindowView& view_;
  data::Connection& SQLServer_;
  WindowCoreOptions options_;
  connection::SettingsFile settingsFile_;
  connection::Settings settings_;  // what the controls do not hold: servers, folders, placement
  ReportTabState enabling_;
  std::string statusText_;
  std::string saveFolder_;  // the save dialog's folder, kept between saves
  bool firstShown_ = false;
  bool closing_ = false;
  bool runAbandoned_ = false;
  bool waitCursor_ = false;
  std::unique_ptr<ConnectAdapter> connectHost_;
  std::unique_ptr<RunWorker> worker_;
};

}  // namespace quorvane::shell
