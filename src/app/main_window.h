#pragma once

#include <QMainWindow>
#include <QStringList>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "connection/connect.h"
#include "connection/settings.h"
#include "data/odbc/odbc_connection.h"
#include "report/report_run.h"
#include "shell/window_core.h"
#include "shell/window_view.h"

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

// The main window: the report tab, the Settings tab and the Help tab, drawn with Qt over the
// presentation core. It draws what the core tells it and forwards every user action to it;
// reports run on the core's worker thread, whose messages arrive here as queued calls.
class TForm1 : public QMainWindow, private shell::WindowView, private shell::UiPoster {
  Q_OBJECT

 public:
  explicit TForm1(WindowOptions options, QWidget* parent = nullptr);
  ~TForm1() override;

  // The Connect button and Enter in the server box.
  void Connect() { core_->Connect(); }
  void CloseApp() { close(); }
  void ShowHelp();
  void ShowAbout();
  void DonateButtonClick();
  void SaveOutput() { core_->SaveOutput(); }
  void PrintPreviewClick();
  void DebugSpeedButtonClick();

  // The application-wide recovery for an error that escaped an event handler.
  void ApplicationEvents1Exception(const std::exception& error) { core_->ApplicationError(error); }

  // The window's own state, for its tests and the entry sequence.
  bool RunActive() const { return core_->RunActive(); }
  // True when a run could not be stopped in time at closing: the process must end without
  // destroying what the run still uses.
  bool RunAbandoned() const { return core_->RunAbandoned(); }
  const connection::SettingsFile& SettingsFileInUse() const { return core_->SettingsFileInUse(); }
  const connection::ServerList& Servers() const { return core_->Servers(); }
  report::ReportRun& Run() { return core_->Run(); }
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
  // shell::WindowView
  void ApplyEnabling(const shell::ReportTabEnabling& enabling) override;
  std::string ServerText() const override;
  void SetServerText(const std::string& text) override;
  void SetServerEntries(const std::vector<std::string>& names) override;
  bool WindowsAuthentication() const override;
  void SetWindowsAuthentication(bool ticked, bool notify) override;
  void ShowDebugButton(bool visible) override;
  void ShowEmptyPage() override;
  void Navigate(const std::string& url) override;
  void AppendDebugText(const std::vector<std::string>& entries, bool cleared) override;
  shell::SettingsValues SettingsTabValues() const override;
  void ShowSettingsTabValues(const shell::SettingsValues& values) override;
  void SetSaveSettingsEnabled(bool enabled) override;
  void SetStatusText(const std::string& text) override;
  void SetProgress(shell::ProgressChange change) override;
  void SetWaitCursor(bool on) override;
  void ShowMessage(shell::MessageKind kind, const std::string& caption,
                   const std::string& text) override;
  bool AskYesNo(const std::string& caption, const std::string& text) override;
  std::optional<connection::LoginAnswer> AskLogin(const shell::LoginRequest& request) override;
  std::optional<std::string> ChooseSaveFile(const std::string& folder,
                                            const std::string& proposedName) override;
  void ProcessEvents() override;
  shell::WindowGeometry Geometry() const override;
  void RunFinished(connection::ConnectOutcome outcome) override { emit runFinished(outcome); }

  // shell::UiPoster
  void Post(std::function<void()> task) override;

  void BuildReportTab(QWidget* tab);
  void BuildStatusBar();
  void ConnectSignals();
  void FormShow();
  void ShowHint(const QString& hint);
  void FileSavePathSpeedButtonClick();
  void WBShowContextMenu(const QPoint& screenPos);

  WindowOptions options_;
  data::OdbcConnection SQLServer_;
  std::unique_ptr<shell::WindowCore> core_;
  bool firstShown_ = false;
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
