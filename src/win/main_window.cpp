#include "win/main_window.h"

#include <commctrl.h>
#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <iostream>

#include "app/links.h"
#include "connection/encryption.h"
#include "report/report_run.h"
#include "shell/hints.h"
#include "shell/settings_values.h"
#include "win/about_box.h"
#include "win/folder_dialog.h"
#include "win/links.h"
#include "win/login_dialog.h"
#include "win/report_fallback.h"
#include "win/resource_ids.h"
#include "win/window_text.h"

namespace quorvane::win {

namespace {

constexpr const wchar_t* kWindowClass = L"SQLServerQuorvaneWindow";
constexpr const wchar_t* kPageClass = L"SQLServerQuorvanePage";
constexpr POINT kDesignPosition{221, 186};
constexpr int kDebugWindowHeight = 231;
constexpr int kProgressWidth = 150;

// The run's tasks wait in the core's queue; this message has the window run them.
constexpr UINT kTasksMessage = WM_APP + 1;

enum ControlId : int {
  kIdTabs = 1000,
  kIdServerBox,
  kIdWinAuth,
  kIdConnect,
  kIdSaveOutput,
  kIdDebug,
  kIdDonate,
  kIdAbout,
  kIdClose,
  kIdReportArea,
  kIdReportText,
  kIdOpenReport,
  kIdSaveSettings,
  kIdDefaultSettings,
  kIdReportPath,
  kIdReportPathButton,
  kIdTimeout,
  kIdCmdShell,
  kIdOACreate,
  kIdJobHistory,
  kIdJobHistoryLimit,
  kIdProvider,
  kIdIgnoreReplication,
  kIdFindings,
  kIdEncrypt,
  kIdTrust,
  kIdHelpText,
  kIdStatus,
  kIdProgress,
  kIdDebugWindow,
  kIdShowHelp,  // the F1 accelerator
  kIdRemoveServer,
  kIdRemoveAllServers,
};

enum TimerId : UINT_PTR { kProgressTimer = 1, kLoopProbeTimer = 2 };

constexpr std::array<connection::EncryptMode, 3> kEncryptModes{connection::EncryptMode::kOptional,
                                                               connection::EncryptMode::kMandatory,
                                                               connection::EncryptMode::kStrict};

HWND Place(DesignLayout& layout, HWND control, const shell::ControlDesign& design) {
  layout.Place(control, design.place, design.anchors);
  return control;
}

HWND ServerEdit(HWND comboBox) {
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  return GetComboBoxInfo(comboBox, &info) ? info.hwndItem : nullptr;
}

void RegisterClasses() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW main{};
  main.cbSize = sizeof main;
  main.lpfnWndProc = DefWindowProcW;  // replaced per window
  main.hInstance = instance;
  main.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_QUORVANE));
  main.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  main.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  main.lpszClassName = kWindowClass;
  RegisterClassExW(&main);
  WNDCLASSEXW page = main;
  page.hIcon = nullptr;
  page.lpszClassName = kPageClass;
  RegisterClassExW(&page);
}

// The subclass of the server box's edit field: its context menu is the server list's.
LRESULT CALLBACK ServerEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                DWORD_PTR data) {
  if (message == WM_CONTEXTMENU) {
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, kIdRemoveServer, L"Remove Server from List");
    AppendMenuW(menu, MF_STRING, kIdRemoveAllServers, L"Remove All Servers from List");
    POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (at.x == -1 && at.y == -1) {  // from the keyboard
      RECT r;
      GetWindowRect(edit, &r);
      at = {r.left, r.bottom};
    }
    const int chosen =
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, edit, nullptr);
    DestroyMenu(menu);
    if (chosen) PostMessageW(reinterpret_cast<HWND>(data), WM_COMMAND, chosen, 0);
    return 0;
  }
  return DefSubclassProc(edit, message, wParam, lParam);
}

}  // namespace

TForm1::TForm1(shell::WindowCoreOptions options) : options_(std::move(options)) {
  RegisterClasses();
  const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  hwnd_ =
      CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass, Wide(shell::kMainWindowCaption).c_str(),
                      style, kDesignPosition.x, kDesignPosition.y, 800, 600, nullptr, nullptr,
                      GetModuleHandleW(nullptr), nullptr);
  if (!hwnd_) throw std::runtime_error("The main window could not be created.");
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TForm1::WindowProc));
  dpi_ = GetDpiForWindow(hwnd_);
  CreateControls();
  ApplyDpi(dpi_);
  RECT outer{0, 0, Scale(shell::kDesignWidth, dpi_), Scale(shell::kDesignHeight, dpi_)};
  AdjustWindowRectExForDpi(&outer, style, FALSE, WS_EX_CONTROLPARENT, dpi_);
  SetWindowPos(hwnd_, nullptr, kDesignPosition.x, kDesignPosition.y, outer.right - outer.left,
               outer.bottom - outer.top, SWP_NOZORDER | SWP_NOACTIVATE);

  ACCEL f1{FVIRTKEY, VK_F1, kIdShowHelp};
  accelerators_ = CreateAcceleratorTableW(&f1, 1);

  wchar_t probe[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"QUORVANE_LOOP_PROBE_FILE", probe, MAX_PATH) > 0) {
    loopProbeFile_ = probe;
    SetTimer(hwnd_, kLoopProbeTimer, 10, nullptr);
  }

  if (!options_.installedDrivers) options_.installedDrivers = data::InstalledOdbcDrivers;
  core_ = std::make_unique<shell::WindowCore>(*this, *this, SQLServer_, options_);
}

TForm1::~TForm1() {
  if (hwnd_ && IsWindow(hwnd_)) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
  core_.reset();
  if (accelerators_) DestroyAcceleratorTable(accelerators_);
  if (font_) DeleteObject(font_);
  if (boldFont_) DeleteObject(boldFont_);
}

// ---------------------------------------------------------------------------------------------
// Building the window

HWND TForm1::CreatePage() {
  HWND page = CreateWindowExW(WS_EX_CONTROLPARENT, kPageClass, L"", WS_CHILD | WS_CLIPSIBLINGS, 0,
                              0, 0, 0, PageControl1, nullptr, GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(page, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TForm1::PageProc));
  return page;
}

void TForm1::CreateControls() {
  const ControlFactory main{hwnd_, hints_};
  PageControl1 = main.Create(WC_TABCONTROLW, L"", WS_CLIPCHILDREN | WS_CLIPSIBLINGS, kIdTabs, {},
                             WS_EX_CONTROLPARENT);
  int index = 0;
  for (const std::string_view caption : shell::kTabCaptions) {
    std::wstring text = Wide(caption);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    SendMessageW(PageControl1, TCM_INSERTITEMW, index++, reinterpret_cast<LPARAM>(&item));
  }
  ReportTabSheet = CreatePage();
  SettingsTabSheet = CreatePage();
  HelpTabSheet = CreatePage();
  BuildReportTab();
  BuildSettingsTab();
  BuildHelpTab();
  CreateBrowser();

  HTMLContainer = main.Create(
      WC_EDITW, L"",
      WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL,
      kIdDebugWindow, "Debug Window - HTML Code", WS_EX_CLIENTEDGE);
  SendMessageW(HTMLContainer, EM_SETLIMITTEXT, 0, 0);
  ShowWindow(HTMLContainer, SW_HIDE);

  StatusBar1 = main.Create(STATUSCLASSNAMEW, L"", SBARS_SIZEGRIP, kIdStatus);
  SendMessageW(StatusBar1, SB_SIMPLE, TRUE, 0);
  JvXPProgressBar1 =
      CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, StatusBar1,
                      reinterpret_cast<HMENU>(kIdProgress), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(JvXPProgressBar1, PBM_SETRANGE32, 0, 100);
  EnableWindow(JvXPProgressBar1, FALSE);
  ShowTab(0);
}

void TForm1::BuildReportTab() {
  namespace d = shell::report_tab;
  const ControlFactory tab{ReportTabSheet, hints_};
  auto& layout = reportLayout_;
  // Created in the keyboard's tab order: server box, Windows authentication, Connect, Save
  // Output, About, Close, the report area, Donate.
  SQLServerComboBox = tab.Create(
      WC_COMBOBOXW, L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL | CBS_UPPERCASE,
      kIdServerBox, std::string(d::kServerBox.hint));
  // A drop-down box's height includes its list.
  shell::DesignRect serverBox = d::kServerBox.place;
  serverBox.height = 200;
  layout.Place(SQLServerComboBox, serverBox, d::kServerBox.anchors);
  SetWindowSubclass(ServerEdit(SQLServerComboBox), ServerEditProc, 1,
                    reinterpret_cast<DWORD_PTR>(hwnd_));
  WinAuthCheckBox =
      Place(layout, tab.CheckBox(d::kWindowsAuthentication, kIdWinAuth), d::kWindowsAuthentication);
  SetChecked(WinAuthCheckBox, true);
  ConnectBitBtn = Place(layout, tab.Button(d::kConnect, kIdConnect), d::kConnect);
  EnableWindow(ConnectBitBtn, FALSE);
  SaveOutputBitBtn = Place(layout, tab.Button(d::kSaveOutput, kIdSaveOutput), d::kSaveOutput);
  EnableWindow(SaveOutputBitBtn, FALSE);
  DebugSpeedButton = Place(layout, tab.Button(d::kDebug, kIdDebug, BS_OWNERDRAW), d::kDebug);
  ShowWindow(DebugSpeedButton, SW_HIDE);
  AboutBitBtn = Place(layout, tab.Button(d::kAbout, kIdAbout), d::kAbout);
  CloseBitBtn = Place(layout, tab.Button(d::kClose, kIdClose), d::kClose);

  WB = CreateWindowExW(WS_EX_CONTROLPARENT | WS_EX_CLIENTEDGE, kPageClass, L"",
                       WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, ReportTabSheet,
                       reinterpret_cast<HMENU>(kIdReportArea), GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(WB, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TForm1::PageProc));
  Place(layout, WB, d::kReportView);
  const ControlFactory area{WB, hints_};
  ReportText = area.Create(WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, kIdReportText);
  reportAreaLayout_.Place(ReportText, {12, 12, 700, 104},
                          shell::kAnchorTopLeft | shell::kAnchorRight);
  OpenReportButton = area.Create(WC_BUTTONW, L"&Open in Web Browser", WS_TABSTOP | BS_PUSHBUTTON,
                                 kIdOpenReport, "Open the report in the web browser.");
  reportAreaLayout_.Place(OpenReportButton, {12, 124, 150, 25});
  ShowWindow(OpenReportButton, SW_HIDE);

  DonateButton = Place(layout, tab.Button(d::kDonate, kIdDonate), d::kDonate);
}

void TForm1::BuildSettingsTab() {
  namespace d = shell::settings_tab;
  const ControlFactory tab{SettingsTabSheet, hints_};
  auto& layout = settingsLayout_;
  auto field = [&](const shell::ControlDesign& design, HWND control) {
    layout.Place(tab.Label(Wide(design.caption)), d::LabelPlace(design.place));
    return Place(layout, control, design);
  };
  SaveSettingsBitBtn =
      Place(layout, tab.Button(d::kSaveSettings, kIdSaveSettings), d::kSaveSettings);
  EnableWindow(SaveSettingsBitBtn, FALSE);
  DefaultSettingsBitBtn =
      Place(layout, tab.Button(d::kDefaultSettings, kIdDefaultSettings), d::kDefaultSettings);
  FileSavePathEdit =
      field(d::kReportPath, tab.Edit(d::kReportPath, kIdReportPath, ES_AUTOHSCROLL | ES_READONLY));
  FileSavePathSpeedButton =
      Place(layout, tab.Button(d::kReportPathButton, kIdReportPathButton), d::kReportPathButton);
  SetWindowTextW(FileSavePathSpeedButton, L"...");
  // The only control with a tooltip: the short part of its hint.
  Tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
  std::wstring tip = Wide(shell::ShortHint(d::kReportPathButton.hint));
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = SettingsTabSheet;
  tool.uId = reinterpret_cast<UINT_PTR>(FileSavePathSpeedButton);
  tool.lpszText = tip.data();
  SendMessageW(Tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));

  ConnectionTimeoutMaskEdit = field(d::kTimeout, tab.Edit(d::kTimeout, kIdTimeout, ES_NUMBER));
  SendMessageW(ConnectionTimeoutMaskEdit, EM_SETLIMITTEXT, 3, 0);
  AllowCmdShellCheckBox =
      Place(layout, tab.CheckBox(d::kAllowCmdShell, kIdCmdShell), d::kAllowCmdShell);
  AllowOACreateCheckBox =
      Place(layout, tab.CheckBox(d::kAllowOACreate, kIdOACreate), d::kAllowOACreate);
  JobHistoryEdit =
      field(d::kJobHistory, tab.Edit(d::kJobHistory, kIdJobHistory, ES_NUMBER | ES_RIGHT));
  JobHistoryLimitEdit = field(
      d::kJobHistoryLimit, tab.Edit(d::kJobHistoryLimit, kIdJobHistoryLimit, ES_NUMBER | ES_RIGHT));
  ProviderEdit = field(d::kProvider, tab.Edit(d::kProvider, kIdProvider, ES_AUTOHSCROLL));
  IgnoreReplicationSectionCheckBox = Place(
      layout, tab.CheckBox(d::kIgnoreReplication, kIdIgnoreReplication), d::kIgnoreReplication);
  FindingsCheckBox = Place(layout, tab.CheckBox(d::kFindings, kIdFindings), d::kFindings);

  // Inside the Encryption group, which the design places as a whole.
  const shell::DesignRect group = d::kEncryptionGroup.place;
  layout.Place(tab.Label(Wide(d::kEncrypt.caption)), {group.x + 10, group.y + 21, 50, 16});
  EncryptComboBox = tab.Create(WC_COMBOBOXW, L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST,
                               kIdEncrypt, std::string(d::kEncrypt.hint));
  for (const auto mode : kEncryptModes) {
    SendMessageW(EncryptComboBox, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(Wide(connection::EncryptModeName(mode)).c_str()));
  }
  SendMessageW(EncryptComboBox, CB_SETCURSEL, 0, 0);
  layout.Place(EncryptComboBox, {group.x + 64, group.y + 17, 120, 120});
  TrustServerCertificateCheckBox = tab.CheckBox(d::kTrustServerCertificate, kIdTrust);
  EnableWindow(TrustServerCertificateCheckBox, FALSE);
  layout.Place(TrustServerCertificateCheckBox, {group.x + 10, group.y + 45, 330, 17});
  // After what it frames, so that it lies below it.
  Place(layout, tab.Create(WC_BUTTONW, Wide(d::kEncryptionGroup.caption), BS_GROUPBOX, -1),
        d::kEncryptionGroup);
}

void TForm1::BuildHelpTab() {
  help_ = std::make_unique<HelpView>(HelpTabSheet, kIdHelpText);
  JvRichEdit1 = help_->Handle();
  helpLayout_.Place(JvRichEdit1, {4, 3, 721, 456}, shell::kAnchorAll);
}

void TForm1::ApplyDpi(UINT dpi) {
  dpi_ = dpi;
  if (font_) DeleteObject(font_);
  if (boldFont_) DeleteObject(boldFont_);
  font_ = CreateWindowFont(dpi_);
  LOGFONTW bold{};
  GetObjectW(font_, sizeof bold, &bold);
  bold.lfWeight = FW_BOLD;
  boldFont_ = CreateFontIndirectW(&bold);
  SetFontEverywhere(hwnd_, font_);
  SetFontEverywhere(Tooltip, font_);
  Layout();
}

void TForm1::Layout() {
  RECT client;
  GetClientRect(hwnd_, &client);
  SendMessageW(StatusBar1, WM_SIZE, 0, 0);
  RECT status;
  GetWindowRect(StatusBar1, &status);
  const int statusHeight = status.bottom - status.top;
  const int margin = Scale(8, dpi_);
  int bottom = client.bottom - statusHeight;
  if (debugWindowShown_) {
    const int height = Scale(kDebugWindowHeight, dpi_);
    bottom -= height;
    SetWindowPos(HTMLContainer, HWND_TOP, 0, bottom, client.right, height, SWP_SHOWWINDOW);
  }
  const int tabWidth = std::max<int>(client.right - 2 * margin, 0);
  const int tabHeight = std::max<int>(bottom - margin, 0);
  SetWindowPos(PageControl1, nullptr, margin, margin, tabWidth, tabHeight, SWP_NOZORDER);
  RECT page{0, 0, tabWidth, tabHeight};
  SendMessageW(PageControl1, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
  const int width = page.right - page.left;
  const int height = page.bottom - page.top;
  for (HWND sheet : {ReportTabSheet, SettingsTabSheet, HelpTabSheet}) {
    SetWindowPos(sheet, nullptr, page.left, page.top, width, height, SWP_NOZORDER);
  }
  reportLayout_.Apply(dpi_, width, height);
  settingsLayout_.Apply(dpi_, width, height);
  helpLayout_.Apply(dpi_, width, height);
  RECT area;
  GetClientRect(WB, &area);
  reportAreaLayout_.Apply(dpi_, area.right, area.bottom);
  PlaceBrowser();

  RECT bar;
  GetClientRect(StatusBar1, &bar);
  const int progressWidth = Scale(kProgressWidth, dpi_);
  const int grip = GetSystemMetricsForDpi(SM_CXVSCROLL, dpi_);
  SetWindowPos(JvXPProgressBar1, nullptr, bar.right - grip - progressWidth, Scale(2, dpi_),
               progressWidth, bar.bottom - Scale(4, dpi_), SWP_NOZORDER);
}

void TForm1::ShowTab(int index) {
  SendMessageW(PageControl1, TCM_SETCURSEL, index, 0);
  const std::array<HWND, 3> sheets{ReportTabSheet, SettingsTabSheet, HelpTabSheet};
  for (int i = 0; i < 3; ++i) {
    ShowWindow(sheets[static_cast<std::size_t>(i)], i == index ? SW_SHOW : SW_HIDE);
  }
  HWND focus = GetFocus();
  if (focus && !IsWindowVisible(focus)) SetFocus(PageControl1);
}

// ---------------------------------------------------------------------------------------------
// Life cycle and messages

void TForm1::Show(int showCommand) {
  RECT outer;
  GetWindowRect(hwnd_, &outer);
  const connection::WindowPlacement design{outer.top, outer.left, outer.bottom - outer.top,
                                           outer.right - outer.left};
  const shell::ScreenFinder screens =
      [](std::optional<std::pair<int, int>> point) -> std::optional<shell::ScreenArea> {
    HMONITOR monitor =
        point ? MonitorFromPoint(POINT{point->first, point->second}, MONITOR_DEFAULTTONULL)
              : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!monitor || !GetMonitorInfoW(monitor, &info)) return std::nullopt;
    const RECT& work = info.rcWork;
    return shell::ScreenArea{work.left, work.top, work.right - work.left, work.bottom - work.top};
  };
  const shell::StartPlacement placement = core_->FirstShow(design, screens);
  if (placement.maximized) {
    ShowWindow(hwnd_, SW_SHOWMAXIMIZED);
  } else {
    SetWindowPos(hwnd_, nullptr, placement.area.left, placement.area.top, placement.area.width,
                 placement.area.height, SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(hwnd_, showCommand);
  }
  ShowTab(0);
  UpdateWindow(hwnd_);
  SetFocus(SQLServerComboBox);
}

bool TForm1::PreTranslate(MSG& message) {
  if (!hwnd_ || !IsWindow(hwnd_)) return false;
  if (accelerators_ && TranslateAcceleratorW(hwnd_, accelerators_, &message)) return true;
  // Enter in the server box connects, with any of Shift, Ctrl and Alt; keypad Enter too.
  if ((message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) &&
      message.wParam == VK_RETURN &&
      (message.hwnd == SQLServerComboBox || message.hwnd == ServerEdit(SQLServerComboBox)) &&
      !SendMessageW(SQLServerComboBox, CB_GETDROPPEDSTATE, 0, 0)) {
    core_->Connect();
    return true;
  }
  return IsDialogMessageW(hwnd_, &message);
}

LRESULT CALLBACK TForm1::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TForm1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self || !self->core_) return DefWindowProcW(hwnd, message, wParam, lParam);
  try {
    return self->Handle(message, wParam, lParam);
  } catch (const std::exception& error) {
    self->core_->ApplicationError(error);
    return 0;
  }
}

LRESULT CALLBACK TForm1::PageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
      return SendMessageW(GetAncestor(hwnd, GA_ROOT), message, wParam, lParam);
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

LRESULT TForm1::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      Command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_NOTIFY:
      Notify(*reinterpret_cast<const NMHDR*>(lParam));
      return 0;
    case WM_DRAWITEM:
      if (wParam == kIdDebug) DrawDebugButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_SETCURSOR:
      ShowHint(reinterpret_cast<HWND>(wParam));
      if (waitCursor_) {
        SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
        return TRUE;
      }
      // A control sets its own cursor.
      if (reinterpret_cast<HWND>(wParam) != hwnd_) return FALSE;
      break;
    case WM_SIZE:
      Layout();
      return 0;
    case WM_GETMINMAXINFO: {
      RECT minimum{0, 0, Scale(shell::kDesignWidth, dpi_), Scale(shell::kDesignHeight, dpi_)};
      AdjustWindowRectExForDpi(&minimum, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)),
                               FALSE, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)),
                               dpi_);
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      info->ptMinTrackSize = {minimum.right - minimum.left, minimum.bottom - minimum.top};
      return 0;
    }
    case WM_DPICHANGED: {
      ApplyDpi(HIWORD(wParam));
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_TIMER:
      if (wParam == kProgressTimer) {
        const int position = static_cast<int>(SendMessageW(JvXPProgressBar1, PBM_GETPOS, 0, 0));
        SendMessageW(JvXPProgressBar1, PBM_SETPOS, report::Timer1Timer(position), 0);
      } else if (wParam == kLoopProbeTimer) {
        LoopProbeTick();
      }
      return 0;
    case kTasksMessage:
      tasks_.RunPending();
      return 0;
    case WM_CLOSE:
      if (!closed_) {
        closed_ = true;
        const ULONGLONG begun = GetTickCount64();
        runAbandoned_ = core_->Close().runAbandoned;
        closeMs_ = GetTickCount64() - begun;
        WriteLoopProbe();
      }
      DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY:
      browser_.reset();  // while its windows still exist
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void TForm1::Command(int id, int code, HWND control) {
  switch (id) {
    case kIdShowHelp:
      ShowTab(2);
      return;
    case kIdServerBox:
      if (code == CBN_EDITCHANGE && settingServerText_ == 0) ServerBoxEdited();
      if (code == CBN_SELCHANGE && settingServerText_ == 0) ServerBoxPicked();
      return;
    case kIdRemoveServer:
      core_->RemoveServer();
      return;
    case kIdRemoveAllServers:
      core_->RemoveAllServers();
      return;
    case kIdWinAuth:
      if (code == BN_CLICKED) core_->WindowsAuthenticationClicked();
      return;
    case kIdConnect:
      core_->Connect();
      return;
    case kIdSaveOutput:
      core_->SaveOutput();
      return;
    case kIdDebug:
      DebugSpeedButtonClick();
      return;
    case kIdDonate:
      OpenAddress(hwnd_, Wide(app::kDonationUrl));
      return;
    case kIdAbout:
      ShowAboutBox(hwnd_);
      return;
    case kIdClose:
      PostMessageW(hwnd_, WM_CLOSE, 0, 0);
      return;
    case kIdOpenReport:
      OpenReportInBrowser();
      return;
    case kIdSaveSettings:
      core_->SaveSettings();
      return;
    case kIdDefaultSettings:
      core_->DefaultSettings();
      return;
    case kIdReportPathButton:
      if (const std::wstring folder = ChooseFolder(hwnd_, WideWindowText(FileSavePathEdit));
          !folder.empty()) {
        core_->ReportFolderChosen(Utf8(folder));
      }
      return;
    case kIdReportPath:
    case kIdTimeout:
    case kIdProvider:
      if (code == EN_CHANGE) SettingsEdited();
      return;
    case kIdJobHistory:
    case kIdJobHistoryLimit:
      if (code == EN_CHANGE) SettingsEdited();
      if (code == EN_KILLFOCUS) {
        const std::string text = WindowText(control);
        const std::string clamped = shell::ClampedJobHistoryText(text);
        if (clamped != text) SetWindowText(control, clamped);
      }
      return;
    case kIdCmdShell:
    case kIdOACreate:
    case kIdIgnoreReplication:
    case kIdFindings:
    case kIdTrust:
      if (code == BN_CLICKED) SettingsEdited();
      return;
    case kIdEncrypt:
      if (code == CBN_SELCHANGE) EncryptModeChanged();
      return;
    default:
      return;
  }
}

void TForm1::Notify(const NMHDR& header) {
  if (header.hwndFrom == JvRichEdit1 && header.code == EN_LINK) {
    help_->Link(reinterpret_cast<const ENLINK&>(header), hwnd_);
    return;
  }
  if (header.hwndFrom == PageControl1 && header.code == TCN_SELCHANGE) {
    ShowTab(static_cast<int>(SendMessageW(PageControl1, TCM_GETCURSEL, 0, 0)));
  }
}

void TForm1::ShowHint(HWND control) {
  if (control == hintControl_) return;
  hintControl_ = control;
  // Entering a control with a hint shows it; leaving it for one without empties the panel, so
  // that a run's status stays until the pointer passes over a hint.
  const std::wstring* hint = hints_.Find(control);
  if (!hint && !hintShown_) return;
  hintShown_ = hint != nullptr;
  core_->SetStatusText(hint ? Utf8(*hint) : std::string());
}

// ---------------------------------------------------------------------------------------------
// The server box and the Settings tab

void TForm1::ServerBoxEdited() {
  const std::wstring text = WideWindowText(SQLServerComboBox);
  const bool grew = text.size() > lastTyped_.size() && text.starts_with(lastTyped_);
  lastTyped_ = text;
  core_->ServerTextEdited(Utf8(text));
  // Complete only while the user adds characters at the end, so that deleting works.
  DWORD end = 0;
  SendMessageW(SQLServerComboBox, CB_GETEDITSEL, 0, reinterpret_cast<LPARAM>(&end));
  if (!grew || text.empty() || end != text.size()) return;
  const std::optional<std::size_t> index = core_->Complete(Utf8(text));
  if (!index) return;
  ++settingServerText_;
  SendMessageW(SQLServerComboBox, CB_SETCURSEL, *index, 0);
  SendMessageW(SQLServerComboBox, CB_SETEDITSEL, 0, MAKELPARAM(text.size(), -1));
  --settingServerText_;
  core_->ServerPicked(*index);
}

void TForm1::ServerBoxPicked() {
  const LRESULT index = SendMessageW(SQLServerComboBox, CB_GETCURSEL, 0, 0);
  if (index == CB_ERR) return;
  std::wstring name(
      static_cast<std::size_t>(SendMessageW(SQLServerComboBox, CB_GETLBTEXTLEN, index, 0)) + 1,
      L'\0');
  name.resize(static_cast<std::size_t>(
      SendMessageW(SQLServerComboBox, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(name.data()))));
  ++settingServerText_;
  SetWindowTextW(SQLServerComboBox, name.c_str());
  --settingServerText_;
  lastTyped_ = name;
  core_->ServerPicked(static_cast<std::size_t>(index));
}

void TForm1::EncryptModeChanged() {
  const auto index = SendMessageW(EncryptComboBox, CB_GETCURSEL, 0, 0);
  if (index >= 0 && index < static_cast<LRESULT>(kEncryptModes.size())) {
    EnableWindow(TrustServerCertificateCheckBox,
                 shell::TrustOffered(kEncryptModes[static_cast<std::size_t>(index)]));
  }
  SettingsEdited();
}

void TForm1::SettingsEdited() {
  if (showingValues_ == 0 && core_) core_->SettingsEdited();
}

// ---------------------------------------------------------------------------------------------
// The report area and the debug window

void TForm1::OpenReportInBrowser() {
  if (!reportUrl_.empty()) OpenAddress(hwnd_, reportUrl_);
}

void TForm1::DebugSpeedButtonClick() {
  debugWindowShown_ = !debugWindowShown_;
  if (debugWindowShown_) SetWindowTextW(HTMLContainer, debugText_.c_str());
  ShowWindow(HTMLContainer, debugWindowShown_ ? SW_SHOW : SW_HIDE);
  Layout();
}

void TForm1::DrawDebugButton(const DRAWITEMSTRUCT& item) const {
  RECT r = item.rcItem;
  DrawFrameControl(item.hDC, &r, DFC_BUTTON,
                   DFCS_BUTTONPUSH | ((item.itemState & ODS_SELECTED) ? DFCS_PUSHED : 0));
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, RGB(255, 0, 0));
  const HGDIOBJ old = SelectObject(item.hDC, boldFont_);
  DrawTextW(item.hDC, L"D", 1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  SelectObject(item.hDC, old);
  if (item.itemState & ODS_FOCUS) {
    InflateRect(&r, -3, -3);
    DrawFocusRect(item.hDC, &r);
  }
}

void TForm1::LoopProbeTick() {
  const ULONGLONG now = GetTickCount64();
  if (!core_->RunActive()) {
    lastProbeTick_ = 0;
    return;
  }
  if (lastProbeTick_ != 0) longestProbeGap_ = std::max(longestProbeGap_, now - lastProbeTick_);
  lastProbeTick_ = now;
}

void TForm1::WriteLoopProbe() const {
  if (loopProbeFile_.empty()) return;
  std::ofstream(std::filesystem::path(loopProbeFile_))
      << "longest_gap_ms=" << longestProbeGap_ << "\nclose_ms=" << closeMs_
      << "\nrun_abandoned=" << runAbandoned_ << "\n";
}

// ---------------------------------------------------------------------------------------------
// shell::UiPoster

void TForm1::Post(std::function<void()> task) {
  if (tasks_.Push(std::move(task))) PostMessageW(hwnd_, kTasksMessage, 0, 0);
}

// ---------------------------------------------------------------------------------------------
// shell::WindowView

void TForm1::ApplyEnabling(const shell::ReportTabEnabling& enabling) {
  HWND focus = GetFocus();
  const bool focusInServerBox =
      focus == SQLServerComboBox || focus == ServerEdit(SQLServerComboBox);
  EnableWindow(SQLServerComboBox, enabling.serverBox);
  EnableWindow(WinAuthCheckBox, enabling.windowsAuthentication);
  EnableWindow(ConnectBitBtn, enabling.connect);
  EnableWindow(SaveOutputBitBtn, enabling.saveOutput);
  EnableWindow(CloseBitBtn, enabling.close);
  EnableWindow(JvXPProgressBar1, enabling.progressBar);
  // A disabled control keeps no keyboard focus: the tabs take it during a run, and the server
  // box gets it back afterwards.
  if (!enabling.serverBox && focusInServerBox) SetFocus(PageControl1);
  if (enabling.serverBox && GetFocus() == PageControl1 && IsWindowVisible(ReportTabSheet)) {
    SetFocus(SQLServerComboBox);
  }
}

std::string TForm1::ServerText() const {
  return WindowText(SQLServerComboBox);
}

void TForm1::SetServerText(const std::string& text) {
  ++settingServerText_;
  SetWindowText(SQLServerComboBox, text);
  --settingServerText_;
  lastTyped_ = Wide(text);
}

void TForm1::SetServerEntries(const std::vector<std::string>& names) {
  const std::wstring text = WideWindowText(SQLServerComboBox);
  ++settingServerText_;
  SendMessageW(SQLServerComboBox, CB_RESETCONTENT, 0, 0);
  for (const std::string& name : names) {
    SendMessageW(SQLServerComboBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(name).c_str()));
  }
  SetWindowTextW(SQLServerComboBox, text.c_str());
  --settingServerText_;
}

bool TForm1::WindowsAuthentication() const {
  return IsChecked(WinAuthCheckBox);
}

void TForm1::SetWindowsAuthentication(bool ticked, bool notify) {
  const bool changed = IsChecked(WinAuthCheckBox) != ticked;
  SetChecked(WinAuthCheckBox, ticked);
  if (notify && changed) core_->WindowsAuthenticationClicked();
}

void TForm1::ShowDebugButton(bool visible) {
  ShowWindow(DebugSpeedButton, visible ? SW_SHOW : SW_HIDE);
}

void TForm1::ShowEmptyPage() {
  reportUrl_.clear();
  SetWindowTextW(ReportText, L"");
  ShowFallbackPage(!browser_);
  if (browser_) browser_->ShowEmptyPage();
}

void TForm1::Navigate(const std::string& url) {
  reportUrl_ = Wide(url);
  SetWindowTextW(ReportText, FallbackPageText(core_->Run().TemporaryReportFile()).c_str());
  reportShown_ = true;
  ShowFallbackPage(!browser_);
  if (browser_) browser_->Navigate(reportUrl_);
}

void TForm1::AppendDebugText(const std::vector<std::string>& entries, bool cleared) {
  if (cleared) {
    debugText_.clear();
    if (debugWindowShown_) SetWindowTextW(HTMLContainer, L"");
  }
  std::wstring added;
  for (const std::string& entry : entries) added += Wide(entry) + L"\r\n";
  debugText_ += added;
  if (debugWindowShown_ && !added.empty()) {
    const auto length = GetWindowTextLengthW(HTMLContainer);
    SendMessageW(HTMLContainer, EM_SETSEL, length, length);
    SendMessageW(HTMLContainer, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(added.c_str()));
  }
}

shell::SettingsValues TForm1::SettingsTabValues() const {
  shell::SettingsValues values;
  values.reportPath = WindowText(FileSavePathEdit);
  values.timeoutText = WindowText(ConnectionTimeoutMaskEdit);
  values.provider = WindowText(ProviderEdit);
  values.jobHistory = WindowText(JobHistoryEdit);
  values.jobHistoryLimit = WindowText(JobHistoryLimitEdit);
  values.allowCmdShell = IsChecked(AllowCmdShellCheckBox);
  values.allowOACreate = IsChecked(AllowOACreateCheckBox);
  values.ignoreReplicationSection = IsChecked(IgnoreReplicationSectionCheckBox);
  values.findings = IsChecked(FindingsCheckBox);
  const auto index = SendMessageW(EncryptComboBox, CB_GETCURSEL, 0, 0);
  if (index >= 0 && index < static_cast<LRESULT>(kEncryptModes.size())) {
    values.encrypt = kEncryptModes[static_cast<std::size_t>(index)];
  }
  values.trustServerCertificate = IsChecked(TrustServerCertificateCheckBox);
  return values;
}

void TForm1::ShowSettingsTabValues(const shell::SettingsValues& values) {
  ++showingValues_;
  SetWindowText(FileSavePathEdit, values.reportPath);
  SetWindowText(ConnectionTimeoutMaskEdit, values.timeoutText);
  SetWindowText(ProviderEdit, values.provider);
  SetWindowText(JobHistoryEdit, values.jobHistory);
  SetWindowText(JobHistoryLimitEdit, values.jobHistoryLimit);
  SetChecked(AllowCmdShellCheckBox, values.allowCmdShell);
  SetChecked(AllowOACreateCheckBox, values.allowOACreate);
  SetChecked(IgnoreReplicationSectionCheckBox, values.ignoreReplicationSection);
  SetChecked(FindingsCheckBox, values.findings);
  const auto mode = std::find(kEncryptModes.begin(), kEncryptModes.end(), values.encrypt);
  SendMessageW(EncryptComboBox, CB_SETCURSEL, mode - kEncryptModes.begin(), 0);
  SetChecked(TrustServerCertificateCheckBox, values.trustServerCertificate);
  EnableWindow(TrustServerCertificateCheckBox, shell::TrustOffered(values.encrypt));
  --showingValues_;
}

void TForm1::SetSaveSettingsEnabled(bool enabled) {
  EnableWindow(SaveSettingsBitBtn, enabled);
}

void TForm1::SetStatusText(const std::string& text) {
  SendMessageW(StatusBar1, SB_SETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(Wide(text).c_str()));
}

void TForm1::SetProgress(shell::ProgressChange change) {
  switch (change) {
    case shell::ProgressChange::kStart:
      EnableWindow(JvXPProgressBar1, TRUE);
      SetTimer(hwnd_, kProgressTimer, 300, nullptr);
      break;
    case shell::ProgressChange::kStopAndReset:
      KillTimer(hwnd_, kProgressTimer);
      SendMessageW(JvXPProgressBar1, PBM_SETPOS, 0, 0);
      EnableWindow(JvXPProgressBar1, FALSE);
      break;
    case shell::ProgressChange::kHalt:
      KillTimer(hwnd_, kProgressTimer);
      EnableWindow(JvXPProgressBar1, FALSE);
      break;
  }
}

void TForm1::SetWaitCursor(bool on) {
  waitCursor_ = on;
  SetCursor(LoadCursorW(nullptr, on ? IDC_APPSTARTING : IDC_ARROW));
}

void TForm1::ShowMessage(shell::MessageKind kind, const std::string& caption,
                         const std::string& text) {
  const UINT icon = kind == shell::MessageKind::kError     ? MB_ICONERROR
                    : kind == shell::MessageKind::kWarning ? MB_ICONWARNING
                                                           : MB_ICONINFORMATION;
  MessageBoxW(hwnd_, Wide(text).c_str(), Wide(caption).c_str(), MB_OK | icon);
}

bool TForm1::AskYesNo(const std::string& caption, const std::string& text) {
  return MessageBoxW(hwnd_, Wide(text).c_str(), Wide(caption).c_str(),
                     MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

std::optional<connection::LoginAnswer> TForm1::AskLogin(const shell::LoginRequest& request) {
  return ShowLoginDialog(hwnd_, request);
}

std::optional<std::string> TForm1::ChooseSaveFile(const std::string& folder,
                                                  const std::string& proposedName) {
  std::wstring file = Wide(proposedName);
  file.resize(std::max<std::size_t>(file.size() + 1, 32768), L'\0');
  const std::wstring initial = Wide(folder);
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = hwnd_;
  dialog.lpstrFilter = L"HTM files (*.htm)\0*.htm\0HTML files (*.html)\0*.html\0";
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrInitialDir = initial.empty() ? nullptr : initial.c_str();
  dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_ENABLESIZING;
  if (!GetSaveFileNameW(&dialog)) return std::nullopt;
  file.resize(wcslen(file.c_str()));
  return Utf8(file);
}

void TForm1::ProcessEvents() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (!PreTranslate(message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

shell::WindowGeometry TForm1::Geometry() const {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  GetWindowPlacement(hwnd_, &placement);
  const RECT& r = placement.rcNormalPosition;
  return shell::WindowGeometry{IsZoomed(hwnd_) != FALSE,
                               {r.top, r.left, r.bottom - r.top, r.right - r.left}};
}

}  // namespace quorvane::win
