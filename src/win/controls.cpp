#include "win/controls.h"

#include <commctrl.h>

#include "shell/hints.h"
#include "win/window_text.h"

namespace quorvane::win {

void HintTable::Set(HWND control, const std::string& hint) {
  hints_[control] = Wide(shell::LongHint(hint));
}

const std::wstring* HintTable::Find(HWND control) const {
  for (HWND at = control; at; at = GetParent(at)) {
    if (const auto found = hints_.find(at); found != hints_.end()) return &found->second;
    // Only a combo box's own edit field borrows its parent's hint.
    wchar_t name[16] = {};
    GetClassNameW(at, name, 16);
    if (lstrcmpiW(name, WC_EDITW) != 0) return nullptr;
  }
  return nullptr;
}

HWND ControlFactory::Create(const wchar_t* windowClass, const std::wstring& text, DWORD style,
                            int id, const std::string& hint, DWORD exStyle) const {
  HWND control = CreateWindowExW(
      exStyle, windowClass, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  if (!hint.empty()) hints.Set(control, hint);
  return control;
}

HWND ControlFactory::Button(const shell::ControlDesign& design, int id, DWORD style) const {
  return Create(WC_BUTTONW, Wide(design.caption), WS_TABSTOP | style, id, std::string(design.hint));
}

HWND ControlFactory::CheckBox(const shell::ControlDesign& design, int id) const {
  return Create(WC_BUTTONW, Wide(design.caption), WS_TABSTOP | BS_AUTOCHECKBOX, id,
                std::string(design.hint));
}

HWND ControlFactory::Edit(const shell::ControlDesign& design, int id, DWORD style) const {
  return Create(WC_EDITW, L"", WS_TABSTOP | style, id, std::string(design.hint), WS_EX_CLIENTEDGE);
}

HWND ControlFactory::Label(const std::wstring& text) const {
  return Create(WC_STATICW, text, SS_LEFT | SS_NOPREFIX, -1);
}

HFONT CreateWindowFont(UINT dpi) {
  LOGFONTW font{};
  font.lfHeight = -MulDiv(8, static_cast<int>(dpi), 72);
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  lstrcpyW(font.lfFaceName, L"MS Shell Dlg");
  return CreateFontIndirectW(&font);
}

void SetFontEverywhere(HWND window, HFONT font) {
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  EnumChildWindows(
      window,
      [](HWND child, LPARAM f) -> BOOL {
        SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(f), TRUE);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(font));
}

bool IsChecked(HWND box) {
  return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetChecked(HWND box, bool ticked) {
  SendMessageW(box, BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace quorvane::win
