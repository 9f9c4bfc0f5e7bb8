// Creating the window's controls: child windows with an identifier, the window's font, and a
// hint for the status bar.
#pragma once

#include <windows.h>

#include <string>
#include <unordered_map>

#include "shell/window_layout.h"

namespace quorvane::win {

// The status-bar hint of every control that has one (the long part of "short|long").
class HintTable {
 public:
  void Set(HWND control, const std::string& hint);
  // The hint of `control`, or of the control it is part of (a combo box's edit field).
  const std::wstring* Find(HWND control) const;

 private:
  std::unordered_map<HWND, std::wstring> hints_;
};

struct ControlFactory {
  HWND parent;
  HintTable& hints;

  HWND Create(const wchar_t* windowClass, const std::wstring& text, DWORD style, int id,
              const std::string& hint = {}, DWORD exStyle = 0) const;
  // Caption and hint from the design.
  HWND Button(const shell::ControlDesign& design, int id, DWORD style = BS_PUSHBUTTON) const;
  HWND CheckBox(const shell::ControlDesign& design, int id) const;
  HWND Edit(const shell::ControlDesign& design, int id, DWORD style) const;
  HWND Label(const std::wstring& text) const;
};

// The window's font ("MS Shell Dlg", 8 points) at `dpi`; the caller owns it.
HFONT CreateWindowFont(UINT dpi);
// Puts `font` on `window` and every control inside it.
void SetFontEverywhere(HWND window, HFONT font);

bool IsChecked(HWND box);
void SetChecked(HWND box, bool ticked);

}  // namespace quorvane::win
