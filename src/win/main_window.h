// `TForm1` on Windows: the report tab, the Settings tab and the Help tab as native controls,
// drawn at the design geometry scaled by the window's DPI. It implements the presentation
// core's view and forwards every user action to the core, which decides.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "data/odbc/odbc_connection.h"
#include "shell/ui_poster.h"
#include "shell/window_core.h"
#include "shell/window_view.h"
#include "win/browser_view.h"
#include "win/controls.h"
#include "win/design_layout.h"
#include "win/help_view.h"

namespace quorvane::win {

class TForm1 final : public shell::WindowView, public shell::UiPoster {
 public:
  // Creates the window (hidden) and the core over it.
  explicit TForm1(shell::WindowCoreOptions options);
  ~TForm1() override;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  HWND Handle() const { return hwnd_; }
  // The first show: the core's start-up sequence, then the window placed and shown.
  void Show(int showCommand);
  // Before a message is dispatched: the F1 accelerator, Enter in the server box, dialog
  // navigation (Tab, arrows, Alt+access keys). True when it was handled.
  bool PreTranslate(MSG& message);
  bool RunAbandoned() const { return runAbandoned_; }

  // shell::UiPoster
  void Post(std::function<void()> task) override;

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

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK PageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Command(int id, int code, HWND control);
  void Notify(const NMHDR& header);

  void CreateControls();
  void BuildReportTab();
  void BuildSettingsTab();
  void BuildHelpTab();
  HWND CreatePage();
  void ApplyDpi(UINT dpi);
  void Layout();
  void ShowTab(int index);
  void ShowHint(HWND control);

  void ServerBoxEdited();
  void ServerBoxPicked();
  void EncryptModeChanged();
  void SettingsEdited();
  void DebugSpeedButtonClick();
  void DrawDebugButton(const DRAWITEMSTRUCT& item) const;
  void OpenReportInBrowser();
  // The report view (main_window_viewer.cpp).
  void CreateBrowser();
  void ShowFallbackPage(bool fallback);
  void PlaceBrowser();
  void WBShowContextMenu(POINT at);
  void PrintPreviewClick();
  void LoopProbeTick();
  void WriteLoopProbe() const;

  HWND hwnd_ = nullptr;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  HFONT font_ = nullptr;
  HFONT boldFont_ = nullptr;
  HACCEL accelerators_ = nullptr;
  HintTable hints_;
  HWND hintControl_ = nullptr;
  bool hintShown_ = false;
  bool waitCursor_ = false;
  bool runAbandoned_ = false;
  bool closed_ = false;
  int showingValues_ = 0;      // >0 while the core puts values into the controls
  int settingServerText_ = 0;  // >0 while the window itself changes the server box's text
  std::wstring lastTyped_;     // the server text as the user last typed it
  std::wstring reportUrl_;
  std::wstring debugText_;
  bool debugWindowShown_ = false;
  // The message loop's longest pause during runs, when a test asks for it.
  std::wstring loopProbeFile_;
  ULONGLONG lastProbeTick_ = 0;
  ULONGLONG longestProbeGap_ = 0;
  ULONGLONG closeMs_ = 0;  // how long closing took
  shell::TaskQueue tasks_;

  // Controls, named as the program knows them.
  HWND PageControl1 = nullptr;
  HWND ReportTabSheet = nullptr;
  HWND SettingsTabSheet = nullptr;
  HWND HelpTabSheet = nullptr;
  HWND SQLServerComboBox = nullptr;
  HWND WinAuthCheckBox = nullptr;
  HWND ConnectBitBtn = nullptr;
  HWND SaveOutputBitBtn = nullptr;
  HWND DebugSpeedButton = nullptr;
  HWND DonateButton = nullptr;
  HWND AboutBitBtn = nullptr;
  HWND CloseBitBtn = nullptr;
  HWND WB = nullptr;  // the report area: for now a text with the report's path and a button
  HWND ReportText = nullptr;
  HWND OpenReportButton = nullptr;
  HWND SaveSettingsBitBtn = nullptr;
  HWND DefaultSettingsBitBtn = nullptr;
  HWND FileSavePathEdit = nullptr;
  HWND FileSavePathSpeedButton = nullptr;
  HWND ConnectionTimeoutMaskEdit = nullptr;
  HWND AllowCmdShellCheckBox = nullptr;
  HWND AllowOACreateCheckBox = nullptr;
  HWND JobHistoryEdit = nullptr;
  HWND JobHistoryLimitEdit = nullptr;
  HWND ProviderEdit = nullptr;
  HWND IgnoreReplicationSectionCheckBox = nullptr;
  HWND FindingsCheckBox = nullptr;
  HWND EncryptComboBox = nullptr;
  HWND TrustServerCertificateCheckBox = nullptr;
  HWND JvRichEdit1 = nullptr;
  HWND StatusBar1 = nullptr;
  HWND JvXPProgressBar1 = nullptr;
  HWND HTMLContainer = nullptr;
  HWND Tooltip = nullptr;

  DesignLayout reportLayout_{shell::kTabDesignWidth, shell::kTabDesignHeight};
  DesignLayout settingsLayout_{shell::kTabDesignWidth, shell::kTabDesignHeight};
  DesignLayout helpLayout_{shell::kTabDesignWidth, shell::kTabDesignHeight};
  DesignLayout reportAreaLayout_{shell::report_tab::kReportView.place.width,
                                 shell::report_tab::kReportView.place.height};

  data::OdbcConnection SQLServer_;
  shell::WindowCoreOptions options_;
  std::unique_ptr<shell::WindowCore> core_;
  std::unique_ptr<HelpView> help_;
  std::unique_ptr<BrowserView> browser_;  // none where the system cannot show the report
  bool reportShown_ = false;              // the report-shown flag: set by the first report
};

}  // namespace quorvane::win
