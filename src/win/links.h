// Opening web addresses through the shell, as the About box, Donate and the report area do.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <string>

namespace quorvane::win {

// The shell's default action for `address`; its answer is not looked at.
inline void OpenAddress(HWND owner, const std::wstring& address) {
  ShellExecuteW(owner, nullptr, address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace quorvane::win
