#pragma once

#include <QMainWindow>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "app/run_host.h"
#include "connection/connect.h"
#include "connection/settings.h"
#include "data/odbc/odbc_connection.h"
#include "findings/findings_collector.h"
#include "report/report_run.h"
#include "sections/outline.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace quorvane::viewer {
class ReportView;
}

namespace quorvane::app {

class ServerBox;
class SettingsTab;
class TAboutBox;
class HelpView;

struct WindowOptions {
  bool debugMode = false;
  connection::SettingsLocation settings;
  // Where every run writes its report; empty: the private temporary folder.
  std::filesystem::path temporaryReportFile;
  // The built-in demo instance: the server text that reaches it and the login the login
  // dialog offers for it.
  QString demoServer;
  QString demoLogin;
  QString demoPassword;
  // The process's private freetds.conf, without which FreeTDS cannot check a certificate.
  connection::FreeTdsConfig* freetds = nullptr;
  // Opens web addresses (Donate, the help text's links, links in the report).
  std::function<void(const QUrl&)> openUrl;
  // The save dialog: the chosen file, or an empty text when cancelled.
  std::function<QString(QWidget* parent, const QString& folder, const QString& proposedName)>
      chooseSaveFile;
};

// The main window: the report tab, the Settings tab and the Help tab, bound to the engine.
// Reports run on a worker thread; the window stays usable throughout and shows the run's
// status, progress and enabling as the run reports them.
class TForm1 : public QMainWindow, private connection::ConnectHost {
  Q_OBJECT

 public:
  explicit TForm1(WindowOptions options, QWidget* parent = nullptr);
  ~TForm1() override;

  // The Connect button and Enter in the server box.
  void Connect();
  void CloseApp() { close(); }
  void ShowHelp();
  void ShowAbout();
  void DonateButtonClick();
  void SaveOutput();
  void PrintPreviewClick();
  void DebugSpeedButtonClick();

  // The application-wide recovery for an error that escaped an event handler.
  void ApplicationEvents1Exception(const std::exception& error);

  // The window's own state, for its tests and the entry sequence.
  bool RunActive() const { return worker_ != nullptr; }
  // True when a run could not be stopped in time at closing: the process must end without
  // destroying what the run still uses.
  bool RunAbandoned() const { return runAbandoned_; }
  const connection::SettingsFile& SettingsFileInUse() const { return settingsFile_; }
  const connection::ServerList& Servers() const { return settings_.servers; }
  report::ReportRun& Run() { return run_; }
  viewer::ReportView* ReportView() const { return WB; }
  QString StatusText() const;
  // Brings the window to the front, for a second start of the program.
  void Activate();

 signals:
  // A run has ended (after the controls were restored and the server list updated).
  void runFinished(connection::ConnectOutcome outcome);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  // connection::ConnectHost
  std::string ServerText() const override;
  bool WindowsAuthentication() const override;
  std::string TimeoutText() const override;
  std::string ProviderText() const override;
  connection::EncryptionOptions Encryption() const override;
  std::optional<connection::LoginAnswer> ShowLoginDialog(
      const connection::LoginPrompt& prompt) override;
  void ClearReportView() override;
  void ProcessEvents() override;
  void SetWaitCursor() override;
  void RestoreDefaultCursor() override;
  void ShowError(const std::string& message) override;
  void RestoreIdleControls() override;

  void BuildReportTab(QWidget* tab);
  void BuildStatusBar();
  void ConnectSignals();

  void FormShow();
  void FormClose();
  void ShowHint(const QString& hint);
  void ApplyLoadedSettings(const connection::LoadedSettings& loaded);
  connection::Settings CurrentSettings() const;
  void SaveCurrentState();
  void SaveSettings();
  void DefaultSettingsBitBtnClick();
  void FileSavePathSpeedButtonClick();
  void UpdateRunSettings();

  void SQLServerComboBoxChange(const QString& text);
  void SQLServerComboBoxSelect(int index);
  void WinAuthCheckBoxClick();
  void RemoveServerfromList1Click();
  void RemoveAllServersfromList1Click();
  void RefreshServerBox();

  void SetRunControlsEnabled(bool enabled);
  void StartProgress();
  void StopProgress();
  void RunEnded(std::exception_ptr failure);
  // Stops a running report within `timeoutMs`; false if it would not stop.
  bool StopRun(int timeoutMs);
  void AppendToDebugWindow();
  void WBShowContextMenu(const QPoint& screenPos);

  WindowOptions options_;
  connection::SettingsFile settingsFile_;
  connection::Settings settings_;  // what the controls do not hold: servers, folders, placement

  data::OdbcConnection SQLServer_;
  RunHost* runHost_;
  sections::StandardOutline outline_;
  findings::FindingsCollector findings_;
  report::ReportRun run_;
  connection::Connector connector_;
  std::unique_ptr<QThread> worker_;
  bool runAbandoned_ = false;
  bool closing_ = false;
  bool firstShown_ = false;
  bool waitCursor_ = false;
  QString saveFolder_;      // the save dialog's folder, kept between saves
  QStringList debugLines_;  // the report buffer as the debug window shows it

  // Controls, named as the program knows them.
  QTabWidget* PageControl1;
  ServerBox* SQLServerComboBox;
  QCheckBox* WinAuthCheckBox;
  QPushButton* ConnectBitBtn;
  QPushButton* SaveOutputBitBtn;
  QToolButton* PrintPreviewButton;
  QToolButton* DebugSpeedButton;
  QPushButton* DonateButton;
  QPushButton* AboutBitBtn;
  QPushButton* CloseBitBtn;
  viewer::ReportView* WB;
  SettingsTab* Settings;
  HelpView* JvRichEdit1;
  QLabel* StatusPanel;
  QProgressBar* JvXPProgressBar1;
  QPlainTextEdit* HTMLContainer;
  QTimer Timer1;
  TAboutBox* AboutBox = nullptr;
};

}  // namespace quorvane::app
