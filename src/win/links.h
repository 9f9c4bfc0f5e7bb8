// Opening web addresses through the shell, as the About box, Donate and the report area do.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <fstream>
#include <string>

#include "data/wide_text.h"

namespace quorvane::win {

// The shell's default action for `address`; its answer is not looked at. Tests name a file in
// QUORVANE_SHELL_OPEN_LOG: the address is appended to it instead of being opened.
inline void OpenAddress(HWND owner, const std::wstring& address) {
  wchar_t log[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"QUORVANE_SHELL_OPEN_LOG", log, MAX_PATH) > 0) {
    std::ofstream(log, std::ios::app | std::ios::binary) << data::Utf8FromWide(address) << "\n";
    return;
  }
  ShellExecuteW(owner, nullptr, address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace quorvane::win
