#include "win/about_box.h"

#include <commctrl.h>

#include <string>

#include "app/links.h"
#include "report/text.h"
#include "win/links.h"
#include "win/resource_ids.h"
#include "win/window_text.h"

namespace quorvane::win {

namespace {

// The panel's fill: the system's grey-text colour, lightened so that black text stays legible.
COLORREF PanelColour() {
  const COLORREF grey = GetSysColor(COLOR_GRAYTEXT);
  auto lighten = [](int c) { return c + (255 - c) * 3 / 5; };
  return RGB(lighten(GetRValue(grey)), lighten(GetGValue(grey)), lighten(GetBValue(grey)));
}

// Panel1: 305 by 177 pixels at 8, 8, in dialog units of the template.
RECT PanelRect(HWND dialog) {
  RECT panel{5, 5, 5 + 204, 5 + 115};
  MapDialogRect(dialog, &panel);
  return panel;
}

struct AboutState {
  HBRUSH panel = nullptr;
  HFONT product = nullptr;
};

HFONT ProductFont(HWND dialog) {
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
  font.lfWeight = FW_BOLD;
  font.lfHeight = -MulDiv(19, static_cast<int>(GetDpiForWindow(dialog)), USER_DEFAULT_SCREEN_DPI);
  return CreateFontIndirectW(&font);
}

void InitAboutBox(HWND dialog, AboutState& state) {
  state.panel = CreateSolidBrush(PanelColour());
  state.product = ProductFont(dialog);
  SendDlgItemMessageW(dialog, IDC_ABOUT_PRODUCT, WM_SETFONT,
                      reinterpret_cast<WPARAM>(state.product), FALSE);
  SetDlgItemTextW(dialog, IDC_ABOUT_VERSION, Wide("Version " + report::GetVersionString()).c_str());
  SetDlgItemTextW(dialog, IDC_ABOUT_URL,
                  (L"<a>" + Wide(app::kWebSiteUrl) + L"</a>").c_str());
  const int size = MulDiv(48, static_cast<int>(GetDpiForWindow(dialog)), USER_DEFAULT_SCREEN_DPI);
  if (auto* icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr),
                                                 MAKEINTRESOURCEW(IDI_QUORVANE), IMAGE_ICON, size,
                                                 size, LR_DEFAULTCOLOR))) {
    SendDlgItemMessageW(dialog, IDC_ABOUT_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
  }
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<AboutState*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      state = new AboutState;
      SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
      InitAboutBox(dialog, *state);
      return TRUE;
    case WM_CTLCOLORSTATIC: {
      auto* dc = reinterpret_cast<HDC>(wParam);
      SetBkMode(dc, TRANSPARENT);
      if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_ABOUT_PRODUCT) {
        SetTextColor(dc, RGB(0, 0, 255));
      }
      return reinterpret_cast<INT_PTR>(state->panel);
    }
    case WM_ERASEBKGND: {
      // The panel is painted as the dialog's background, so that the texts stand on it.
      auto* dc = reinterpret_cast<HDC>(wParam);
      RECT client;
      GetClientRect(dialog, &client);
      FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
      const RECT panel = PanelRect(dialog);
      FillRect(dc, &panel, state->panel);
      FrameRect(dc, &panel, GetSysColorBrush(COLOR_WINDOWFRAME));
      SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
      return TRUE;
    }
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->code != NM_CLICK && header->code != NM_RETURN) return FALSE;
      if (header->idFrom == IDC_ABOUT_DONATION) OpenAddress(dialog, Wide(app::kDonationUrl));
      if (header->idFrom == IDC_ABOUT_URL) OpenAddress(dialog, Wide(app::kWebSiteUrl));
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, IDOK);
      return TRUE;
    case WM_NCDESTROY:
      if (state) {
        DeleteObject(state->panel);
        DeleteObject(state->product);
        delete state;
        SetWindowLongPtrW(dialog, DWLP_USER, 0);
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

void ShowAboutBox(HWND owner) {
  DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), owner, AboutProc, 0);
}

Splash::Splash() {
  window_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), nullptr,
                               AboutProc, 0);
  if (!window_) return;
  ShowWindow(GetDlgItem(window_, IDOK), SW_HIDE);
  SetWindowLongPtrW(window_, GWL_STYLE, WS_POPUP);
  SetWindowLongPtrW(window_, GWL_EXSTYLE, WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
  // Only the panel, centred on the screen.
  const RECT panel = PanelRect(window_);
  const int width = panel.right + panel.left;
  const int height = panel.bottom + panel.top;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  SetWindowPos(window_, HWND_TOPMOST, work.left + (work.right - work.left - width) / 2,
               work.top + (work.bottom - work.top - height) / 2, width, height,
               SWP_FRAMECHANGED | SWP_SHOWWINDOW);
  UpdateWindow(window_);
}

Splash::~Splash() {
  if (window_) DestroyWindow(window_);
}

void LongDelay(std::uint32_t ms) {
  // Elapsed time as an unsigned difference stays right across a wrap of the tick count.
  const DWORD start = GetTickCount();
  while (static_cast<DWORD>(GetTickCount() - start) < ms) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(1);
  }
}

}  // namespace quorvane::win
