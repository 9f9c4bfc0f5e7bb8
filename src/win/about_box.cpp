#include "win/about_box.h"

#include <commctrl.h>

#include <algorithm>
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

RECT ChildRect(HWND dialog, int id) {
  RECT r;
  GetWindowRect(GetDlgItem(dialog, id), &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// "Donation" follows its sentence on the same line when the panel is wide enough for both in
// this font, else it starts the next line; the web address goes below it.
void PlaceDonationLink(HWND dialog) {
  HWND sentence = GetDlgItem(dialog, IDC_ABOUT_DONATION_TEXT);
  const std::wstring text = WideWindowText(sentence);
  HDC dc = GetDC(sentence);
  const HGDIOBJ old =
      SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(sentence, WM_GETFONT, 0, 0)));
  SIZE extent{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  SelectObject(dc, old);
  ReleaseDC(sentence, dc);

  const RECT line = ChildRect(dialog, IDC_ABOUT_DONATION_TEXT);
  const RECT link = ChildRect(dialog, IDC_ABOUT_DONATION);
  const RECT url = ChildRect(dialog, IDC_ABOUT_URL);
  const RECT panel = PanelRect(dialog);
  const int linkWidth = link.right - link.left;
  const int lineHeight = line.bottom - line.top;
  const int gap = MulDiv(3, static_cast<int>(GetDpiForWindow(dialog)), USER_DEFAULT_SCREEN_DPI);
  SetWindowPos(sentence, nullptr, line.left, line.top, extent.cx + gap, lineHeight,
               SWP_NOZORDER | SWP_NOACTIVATE);
  int x = std::max<int>(link.left, line.left + extent.cx + gap);
  int y = line.top;
  if (x + linkWidth > panel.right - gap) {
    x = line.left;
    y = line.top + lineHeight + gap;
  }
  SetWindowPos(GetDlgItem(dialog, IDC_ABOUT_DONATION), nullptr, x, y, linkWidth, lineHeight,
               SWP_NOZORDER | SWP_NOACTIVATE);
  const int urlTop = std::max<int>(url.top, y + lineHeight + 2 * gap);
  SetWindowPos(GetDlgItem(dialog, IDC_ABOUT_URL), nullptr, url.left, urlTop, url.right - url.left,
               url.bottom - url.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void InitAboutBox(HWND dialog, AboutState& state) {
  state.panel = CreateSolidBrush(PanelColour());
  state.product = ProductFont(dialog);
  SendDlgItemMessageW(dialog, IDC_ABOUT_PRODUCT, WM_SETFONT,
                      reinterpret_cast<WPARAM>(state.product), FALSE);
  SetDlgItemTextW(dialog, IDC_ABOUT_VERSION, Wide("Version " + report::GetVersionString()).c_str());
  SetDlgItemTextW(dialog, IDC_ABOUT_URL, (L"<a>" + Wide(app::kWebSiteUrl) + L"</a>").c_str());
  PlaceDonationLink(dialog);
  const int size = MulDiv(48, static_cast<int>(GetDpiForWindow(dialog)), USER_DEFAULT_SCREEN_DPI);
  if (auto* icon =
          static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_QUORVANE),
                                        IMAGE_ICON, size, size, LR_DEFAULTCOLOR))) {
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
      // Enter closes the box: the focus starts on OK, not on the first link.
      SetFocus(GetDlgItem(dialog, IDOK));
      return FALSE;
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
