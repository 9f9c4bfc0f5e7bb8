// The folder selection dialog of the Settings tab's folder button. A typed folder that does not
// exist is offered for creation, parents included.
#pragma once

#include <windows.h>

#include <string>

namespace quorvane::win {

// The chosen folder, or an empty text when cancelled.
std::wstring ChooseFolder(HWND owner, const std::wstring& startFolder);

}  // namespace quorvane::win
