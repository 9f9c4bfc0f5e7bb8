#include "shell/window_core.h"

#include <condition_variable>
#include <iostream>
#include <mutex>
#include <system_error>
#include <thread>

#include "connection/server_list.h"
#include "findings/findings_collector.h"
#include "findings/findings_output.h"
#include "report/report_file.h"
#include "sections/outline.h"
#include "shell/run_host.h"
#include "shell/save_name.h"

namespace quorvane::shell {

// What `Connect` asks of the window, answered from the view and the core.
class WindowCore::ConnectAdapter : public connection::ConnectHost {
 public:
  explicit ConnectAdapter(WindowCore& core) : core_(core) {}

  std::string ServerText() const override { return core_.view_.ServerText(); }
  bool WindowsAuthentication() const override { return core_.view_.WindowsAuthentication(); }
  std::string TimeoutText() const override {
    return StoredTimeoutText(core_.view_.SettingsTabValues().timeoutText);
  }
  std::string ProviderText() const override { return core_.view_.SettingsTabValues().provider; }
  connection::EncryptionOptions Encryption() const override {
    return EncryptionFrom(core_.view_.SettingsTabValues());
  }
  std::optional<connection::LoginAnswer> ShowLoginDialog(
      const connection::LoginPrompt& prompt) override {
    return core_.view_.AskLogin(PrefillLogin(prompt, ServerText(), core_.options_.demo));
  }
  void ClearReportView() override { core_.view_.ShowEmptyPage(); }
  void ProcessEvents() override { core_.view_.ProcessEvents(); }
  void SetWaitCursor() override { core_.SetWaitCursor(true); }
  void RestoreDefaultCursor() override { core_.SetWaitCursor(false); }
  void ShowError(const std::string& message) override {
    core_.view_.ShowMessage(MessageKind::kError, "Error", message);
  }
  void RestoreIdleControls() override { core_.RestoreIdle(); }

 private:
  WindowCore& core_;
};

// The report run and the thread it runs on; its messages reach the core on the UI thread.
class WindowCore::RunWorker : public RunMessages {
 public:
  RunWorker(WindowCore& core, UiPoster& poster, data::Connection& SQLServer)
      : core_(core),
        poster_(poster),
        SQLServer_(SQLServer),
        host_(poster, *this),
        run_(SQLServer, host_, outline_, RunOptions(core.options_, findings_, host_)),
        connector_(*core.connectHost_, SQLServer, core.settings_.servers,
                   connection::HooksFor(run_), core.options_.installedDrivers,
                   core.options_.freetds) {
    run_.HTMLContainer().SetObserver(&host_);
  }

  ~RunWorker() override {
    run_.HTMLContainer().SetObserver(nullptr);
    if (thread_.joinable()) thread_.detach();  // abandoned: the process ends without us
  }

  bool Running() const { return thread_.joinable(); }
  report::ReportRun& Run() { return run_; }
  connection::Connector& Connector() { return connector_; }
  PostingReportHost& Host() { return host_; }

  void Start() {
    {
      const std::lock_guard lock(mutex_);
      finished_ = false;
    }
    host_.ClearStopRequest();
    thread_ = std::thread([this] {
      std::exception_ptr failure;
      try {
        connector_.Open();
      } catch (...) {
        failure = std::current_exception();
      }
      {
        const std::lock_guard lock(mutex_);
        finished_ = true;
      }
      ended_.notify_all();
      poster_.Post([this, failure] { core_.RunEnded(failure); });
    });
  }

  void Join() {
    if (thread_.joinable()) thread_.join();
  }

  // Asks the run to stop, cancels the running statement and waits up to `timeoutMs`; false
  // when the run is still going.
  bool Stop(int timeoutMs) {
    host_.RequestStop();
    SQLServer_.Cancel();
    std::unique_lock lock(mutex_);
    if (!ended_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                         [this] { return finished_; })) {
      return false;
    }
    lock.unlock();
    Join();
    return true;
  }

  // RunMessages, on the UI thread.
  void RunControlsEnabled(bool enabled) override {
    core_.enabling_.RunControls(enabled);
    core_.ShowEnabling();
  }
  void RunStatusText(const std::string& text) override { core_.SetStatusText(text); }
  void RunProgress(bool running) override {
    core_.enabling_.Progress(running);
    core_.view_.SetProgress(running ? ProgressChange::kStart : ProgressChange::kStopAndReset);
    core_.ShowEnabling();
  }
  void RunDefaultCursor() override { core_.SetWaitCursor(false); }
  void RunWarning(const std::string& caption, const std::string& text) override {
    core_.view_.ShowMessage(MessageKind::kWarning, caption, text);
  }
  void RunNavigate(const std::string& url) override { core_.view_.Navigate(url); }
  void RunBufferGrew(const std::vector<std::string>& entries, bool cleared) override {
    core_.view_.AppendDebugText(entries, cleared);
  }

 private:
  static report::ReportRunOptions RunOptions(const WindowCoreOptions& window,
                                             findings::FindingsCollector& findings,
                                             const PostingReportHost& host) {
    report::ReportRunOptions options;
    options.debugMode = window.debugMode;
    options.temporaryReportFile = window.temporaryReportFile;
    // The findings hear every run; their section is added when the box is ticked as the run
    // ends.
    options.recorder = &findings;
    options.closingEntries = [&findings, &host] {
      return host.Findings() ? findings::FindingsSectionEntries(findings)
                             : std::vector<std::string>();
    };
    return options;
  }

  WindowCore& core_;
  UiPoster& poster_;
  data::Connection& SQLServer_;
  PostingReportHost host_;
  sections::StandardOutline outline_;
  findings::FindingsCollector findings_;
  report::ReportRun run_;
  connection::Connector connector_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable ended_;
  bool finished_ = true;
};

WindowCore::WindowCore(WindowView& view, UiPoster& poster, data::Connection& SQLServer,
                       WindowCoreOptions options)
    : view_(view),
      SQLServer_(SQLServer),
      options_(std::move(options)),
      settingsFile_(options_.settings.file),
      connectHost_(std::make_unique<ConnectAdapter>(*this)),
      worker_(std::make_unique<RunWorker>(*this, poster, SQLServer)) {}

WindowCore::~WindowCore() {
  if (worker_->Running() && !runAbandoned_ && !worker_->Stop(options_.stopTimeoutMs)) {
    runAbandoned_ = true;
  }
}

report::ReportRun& WindowCore::Run() {
  return worker_->Run();
}

bool WindowCore::RunActive() const {
  return worker_->Running();
}

// ---------------------------------------------------------------------------------------------
// Start-up and settings

StartPlacement WindowCore::FirstShow(const connection::WindowPlacement& design,
                                     const ScreenFinder& screens) {
  view_.ShowDebugButton(options_.debugMode);
  try {
    connection::RenameSettings(options_.settings);
  } catch (const std::exception& error) {
    // Start with the defaults; the file is written anew at the next save.
    SetStatusText(std::string("The settings could not be migrated: ") + error.what());
  }
  ApplyLoadedSettings(settingsFile_.LoadSettings(design));
  if (options_.demo) {
    view_.SetServerText(options_.demo->server);
    SetWindowsAuthenticationAsClicked(false);
    enabling_.ServerTextChanged(options_.demo->server);
    ShowEnabling();
    SetStatusText("Demo: press Connect to report on the simulated SQL Server.");
  }
  const StartPlacement placement = ChooseStartPlacement(settings_.isMaximized, settings_.placement,
                                                        screens, kDesignWidth, kDesignHeight);
  settingsFile_.SetFirstShowCompleted();
  return placement;
}

void WindowCore::ApplyLoadedSettings(const connection::LoadedSettings& loaded) {
  settings_ = loaded.settings;
  view_.ShowSettingsTabValues(ValuesFromSettings(settings_));
  RefreshServerBox();
  view_.SetServerText(settings_.curServer);
  view_.SetWindowsAuthentication(loaded.windowsAuthentication, false);
  view_.SetSaveSettingsEnabled(false);
  enabling_.ServerTextChanged(view_.ServerText());
  ShowEnabling();
  UpdateRunSettings();
}

connection::Settings WindowCore::CurrentSettings() const {
  connection::Settings s = settings_;
  s.curServer = view_.ServerText();
  ApplyValues(view_.SettingsTabValues(), s);
  const WindowGeometry geometry = view_.Geometry();
  s.isMaximized = geometry.maximized;
  if (!s.isMaximized) s.placement = geometry.normal;
  return s;
}

void WindowCore::SaveCurrentState() {
  settingsFile_.SaveCurrentState(CurrentSettings());
}

void WindowCore::SettingsEdited() {
  view_.SetSaveSettingsEnabled(true);
  UpdateRunSettings();
}

void WindowCore::SaveSettings() {
  SettingsValues values = view_.SettingsTabValues();
  const SettingsValues typed = values;
  values.jobHistory = ClampedJobHistoryText(values.jobHistory);
  values.jobHistoryLimit = ClampedJobHistoryText(values.jobHistoryLimit);
  if (values != typed) {
    view_.ShowSettingsTabValues(values);
    UpdateRunSettings();
  }
  settingsFile_.SaveSettings(CurrentSettings());
  view_.SetSaveSettingsEnabled(false);
}

void WindowCore::DefaultSettings() {
  view_.ShowSettingsTabValues(DefaultValues(view_.SettingsTabValues()));
  SettingsEdited();
}

void WindowCore::ReportFolderChosen(const std::string& folder) {
  if (folder.empty()) return;
  settings_.reportPath = folder;
  SettingsValues values = view_.SettingsTabValues();
  if (values.reportPath == folder) return;
  values.reportPath = folder;
  view_.ShowSettingsTabValues(values);
  SettingsEdited();
}

void WindowCore::UpdateRunSettings() {
  worker_->Host().SetRunSettings(RunSettingsFrom(view_.SettingsTabValues()));
}

// ---------------------------------------------------------------------------------------------
// The server box

void WindowCore::RefreshServerBox() {
  std::vector<std::string> names;
  for (const connection::ServerEntry& entry : settings_.servers) names.push_back(entry.name);
  view_.SetServerEntries(names);
}

void WindowCore::ServerTextEdited(const std::string& text) {
  enabling_.ServerTextChanged(text);
  ShowEnabling();
}

void WindowCore::ServerPicked(std::size_t index) {
  if (index >= settings_.servers.size()) return;
  // Picking also counts as a change of the text, so that Connect is enabled for a picked name.
  ServerTextEdited(view_.ServerText());
  SetWindowsAuthenticationAsClicked(connection::WindowsAuthenticationFor(settings_.servers[index]));
}

std::optional<std::size_t> WindowCore::Complete(const std::string& typed) const {
  return settings_.servers.Complete(typed);
}

void WindowCore::SetWindowsAuthenticationAsClicked(bool ticked) {
  if (view_.WindowsAuthentication() == ticked) return;
  view_.SetWindowsAuthentication(ticked, false);
  WindowsAuthenticationClicked();
}

void WindowCore::WindowsAuthenticationClicked() {
  if (connection::WinAuthCheckBoxClick(settings_.servers, view_.ServerText(),
                                       view_.WindowsAuthentication())) {
    SaveCurrentState();
  }
}

void WindowCore::RemoveServer() {
  if (!settings_.servers.Remove(connection::TrimBlanks(view_.ServerText()))) return;
  ForgetServerText();
}

void WindowCore::RemoveAllServers() {
  if (!view_.AskYesNo("Confirm", std::string(connection::kRemoveAllServersQuestion))) return;
  settings_.servers.Clear();
  ForgetServerText();
}

void WindowCore::ForgetServerText() {
  RefreshServerBox();
  view_.SetServerText({});
  ServerTextEdited({});
  SaveCurrentState();
}

// ---------------------------------------------------------------------------------------------
// The report run

void WindowCore::Connect() {
  if (worker_->Running()) return;
  if (const auto ended = worker_->Connector().Prepare()) {
    view_.RunFinished(*ended);
    return;
  }
  // Disabled from the start, so that nothing starts a second run during a slow login.
  enabling_.RunControls(false);
  ShowEnabling();
  UpdateRunSettings();
  worker_->Start();
}

void WindowCore::RunEnded(std::exception_ptr failure) {
  worker_->Join();
  if (closing_) return;
  const connection::ConnectOutcome outcome = worker_->Connector().Finish(failure);
  if (worker_->Run().ReportShown() == 1) {
    enabling_.ReportShown();
    ShowEnabling();
  }
  RefreshServerBox();
  view_.RunFinished(outcome);
}

void WindowCore::RestoreIdle() {
  enabling_.RestoreIdle();
  view_.SetProgress(ProgressChange::kHalt);
  ShowEnabling();
}

void WindowCore::ShowEnabling() {
  view_.ApplyEnabling(enabling_.Current());
}

void WindowCore::SetWaitCursor(bool on) {
  if (waitCursor_ == on) return;
  waitCursor_ = on;
  view_.SetWaitCursor(on);
}

void WindowCore::SetStatusText(const std::string& text) {
  statusText_ = text;
  view_.SetStatusText(text);
}

// ---------------------------------------------------------------------------------------------
// Saving

void WindowCore::SaveOutput() {
  if (saveFolder_.empty()) {
    saveFolder_ =
        InitialSaveFolder(options_.settings.applicationFolder.string(), settings_.lastReportPath,
                          view_.SettingsTabValues().reportPath, [](const std::string& folder) {
                            std::error_code ignored;
                            return std::filesystem::is_directory(folder, ignored);
                          });
  }
  const std::string proposed =
      ProposedSaveName(view_.ServerText(), worker_->Run().ReportStartTime());
  const std::optional<std::string> chosen = view_.ChooseSaveFile(saveFolder_, proposed);
  if (!chosen || chosen->empty()) return;
  try {
    if (options_.writeSavedReport) {
      options_.writeSavedReport(*chosen, worker_->Run().HTMLContainer().Text());
    } else {
      report::WriteReportFile(*chosen, worker_->Run().HTMLContainer().Text());
    }
  } catch (const std::exception& error) {
    view_.ShowMessage(MessageKind::kError, "Error",
                      std::string("The report was not saved.\n") + error.what());
    return;
  }
  const std::string folder = FolderWithSeparator(*chosen);
  settings_.lastReportPath = folder;
  saveFolder_ = folder;
  std::filesystem::path saved = std::filesystem::absolute(*chosen).lexically_normal();
  view_.ShowMessage(MessageKind::kInformation, "Information",
                    "Report saved to " + saved.make_preferred().string());
}

// ---------------------------------------------------------------------------------------------
// Closing and errors

CloseResult WindowCore::Close() {
  if (closing_) return {runAbandoned_};
  closing_ = true;
  if (worker_->Running() && !worker_->Stop(options_.stopTimeoutMs)) {
    runAbandoned_ = true;
    std::cerr << "quorvane: the connection did not stop in time; leaving it behind\n";
  }
  try {
    std::error_code ignored;
    std::filesystem::remove(worker_->Run().TemporaryReportFile(), ignored);
  } catch (const std::exception&) {
    // No private folder: then no report was ever written there either.
  }
  try {
    SaveCurrentState();
  } catch (const std::exception& error) {
    view_.ShowMessage(
        MessageKind::kWarning, "SQL Server Quorvane",
        std::string("The list of servers and the window's place could not be saved:\n") +
            error.what());
  }
  if (!runAbandoned_ && SQLServer_.Connected()) SQLServer_.Close();
  return {runAbandoned_};
}

void WindowCore::ApplicationError(const std::exception& error) {
  std::cerr << "quorvane: " << error.what() << "\n";
  SetStatusText(error.what());
  // A running report restores the controls itself when it ends; its connection is its own.
  if (worker_->Running()) return;
  SetWaitCursor(false);
  RestoreIdle();
  if (SQLServer_.Connected()) SQLServer_.Close();
}

}  // namespace quorvane::shell
