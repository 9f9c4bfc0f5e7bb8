#include "win/login_dialog.h"

#include "win/resource_ids.h"
#include "win/window_text.h"

namespace quorvane::win {

namespace {

struct LoginState {
  const shell::LoginRequest* request;
  std::wstring userName;
  std::wstring password;
  HFONT titleFont = nullptr;
};

void WipeWide(std::wstring& text) {
  volatile wchar_t* p = text.data();
  for (std::size_t i = 0; i < text.size(); ++i) p[i] = L'\0';
  text.clear();
}

HFONT BoldFontLike(HWND control) {
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
  font.lfWeight = FW_BOLD;
  return CreateFontIndirectW(&font);
}

INT_PTR CALLBACK LoginProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<LoginState*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      state = reinterpret_cast<LoginState*>(lParam);
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      SetWindowTextW(dialog, Wide(state->request->caption).c_str());
      HWND title = GetDlgItem(dialog, IDC_LOGIN_TITLE);
      SetWindowTextW(title, Wide(state->request->title).c_str());
      state->titleFont = BoldFontLike(title);
      SendMessageW(title, WM_SETFONT, reinterpret_cast<WPARAM>(state->titleFont), FALSE);
      HWND user = GetDlgItem(dialog, IDC_LOGIN_USER);
      HWND password = GetDlgItem(dialog, IDC_LOGIN_PASSWORD);
      SendMessageW(password, EM_SETPASSWORDCHAR, L'#', 0);
      SetWindowTextW(user, state->userName.c_str());
      SetWindowTextW(password, state->password.c_str());
      WipeWide(state->password);
      SetFocus(state->request->focusPassword ? password : user);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        state->userName = WideWindowText(GetDlgItem(dialog, IDC_LOGIN_USER));
        state->password = WideWindowText(GetDlgItem(dialog, IDC_LOGIN_PASSWORD));
        SetDlgItemTextW(dialog, IDC_LOGIN_PASSWORD, L"");
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        SetDlgItemTextW(dialog, IDC_LOGIN_PASSWORD, L"");
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    case WM_DESTROY:
      if (state && state->titleFont) DeleteObject(state->titleFont);
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

std::optional<connection::LoginAnswer> ShowLoginDialog(HWND owner,
                                                       const shell::LoginRequest& request) {
  LoginState state{&request, Wide(request.userName), Wide(request.password)};
  const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_LOGIN),
                                         owner, LoginProc, reinterpret_cast<LPARAM>(&state));
  if (result != IDOK) {
    WipeWide(state.password);
    return std::nullopt;
  }
  connection::LoginAnswer answer{Utf8(state.userName), Utf8(state.password)};
  WipeWide(state.password);
  return answer;
}

}  // namespace quorvane::win
