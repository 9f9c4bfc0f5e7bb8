#include "win/folder_dialog.h"

#include <shlobj.h>

namespace quorvane::win {

namespace {

struct FolderState {
  std::wstring start;
  std::wstring created;  // a typed folder that the dialog created
};

int CALLBACK BrowseProc(HWND dialog, UINT message, LPARAM lParam, LPARAM data) {
  auto* state = reinterpret_cast<FolderState*>(data);
  if (message == BFFM_INITIALIZED && !state->start.empty()) {
    SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(state->start.c_str()));
  }
  if (message == BFFM_VALIDATEFAILEDW) {
    // The typed name is no folder of the tree: offer to create it.
    const std::wstring typed = reinterpret_cast<const wchar_t*>(lParam);
    if (MessageBoxW(dialog, L"The specified directory does not exist. Create it?",
                    L"Default Report Output Path", MB_YESNO | MB_ICONQUESTION) != IDYES) {
      return 1;  // stay in the dialog
    }
    const int result = SHCreateDirectoryExW(dialog, typed.c_str(), nullptr);
    if (result != ERROR_SUCCESS && result != ERROR_ALREADY_EXISTS) {
      MessageBoxW(dialog, (L"The folder " + typed + L" could not be created.").c_str(),
                  L"Default Report Output Path", MB_OK | MB_ICONWARNING);
      return 1;
    }
    state->created = typed;
  }
  return 0;
}

}  // namespace

std::wstring ChooseFolder(HWND owner, const std::wstring& startFolder) {
  FolderState state{startFolder, {}};
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.lpszTitle = L"Default Report Output Path";
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_VALIDATE | BIF_NEWDIALOGSTYLE;
  info.lpfn = BrowseProc;
  info.lParam = reinterpret_cast<LPARAM>(&state);
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  if (!state.created.empty()) {
    if (chosen) CoTaskMemFree(chosen);
    return state.created;
  }
  if (!chosen) return {};
  wchar_t path[MAX_PATH] = {};
  const bool ok = SHGetPathFromIDListW(chosen, path);
  CoTaskMemFree(chosen);
  return ok ? std::wstring(path) : std::wstring();
}

}  // namespace quorvane::win
