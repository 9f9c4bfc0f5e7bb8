// UTF-8 (the engine's text) to the window system's UTF-16 and back, and control texts.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "data/wide_text.h"

namespace quorvane::win {

inline std::wstring Wide(std::string_view text) {
  return data::WideFromUtf8(text);
}

inline std::string Utf8(std::wstring_view text) {
  return data::Utf8FromWide(text);
}

inline std::wstring WideWindowText(HWND control) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return text;
}

inline std::string WindowText(HWND control) {
  return Utf8(WideWindowText(control));
}

inline void SetWindowText(HWND control, std::string_view text) {
  SetWindowTextW(control, Wide(text).c_str());
}

}  // namespace quorvane::win
