#include "win/help_view.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <string_view>

#include "win/links.h"

namespace quorvane::win {

namespace {

// The window's font would replace every font of the document: the viewer keeps its own.
LRESULT CALLBACK KeepDocumentFonts(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                   DWORD_PTR) {
  if (message == WM_SETFONT) return 0;
  return DefSubclassProc(edit, message, wParam, lParam);
}

std::string_view HelpDocument() {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, L"HELPRTF", MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) throw std::runtime_error("The help document is missing from the program.");
  return {static_cast<const char*>(bytes), SizeofResource(module, found)};
}

DWORD CALLBACK ReadDocument(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* read) {
  auto& rest = *reinterpret_cast<std::string_view*>(cookie);
  const std::size_t count = std::min(rest.size(), static_cast<std::size_t>(size));
  std::copy_n(rest.data(), count, buffer);
  rest.remove_prefix(count);
  *read = static_cast<LONG>(count);
  return 0;
}

}  // namespace

HelpView::HelpView(HWND parent, int id) {
  if (!LoadLibraryW(L"Msftedit.dll")) {
    throw std::runtime_error("The rich-text viewer (Msftedit.dll) is missing.");
  }
  edit_ = CreateWindowExW(WS_EX_CLIENTEDGE, MSFTEDIT_CLASS, L"",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE |
                              ES_READONLY | ES_AUTOVSCROLL | ES_DISABLENOSCROLL,
                          0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                          GetModuleHandleW(nullptr), nullptr);
  if (!edit_) throw std::runtime_error("The help viewer could not be created.");
  SetWindowSubclass(edit_, KeepDocumentFonts, 1, 0);
  SendMessageW(edit_, EM_AUTOURLDETECT, AURL_ENABLEURL, 0);
  SendMessageW(edit_, EM_SETEVENTMASK, 0, ENM_LINK);
  std::string_view document = HelpDocument();
  EDITSTREAM stream{};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&document);
  stream.pfnCallback = ReadDocument;
  SendMessageW(edit_, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
  if (stream.dwError != 0 || GetWindowTextLengthW(edit_) == 0) {
    throw std::runtime_error("The help document could not be read.");
  }
}

void HelpView::Link(const ENLINK& link, HWND owner) {
  switch (link.msg) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      pressed_ = link.chrg;
      pressedButton_ = link.msg;
      return;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP: {
      // A click: pressed and released on the same address with the same button.
      const bool same = pressed_.cpMin == link.chrg.cpMin && pressed_.cpMax == link.chrg.cpMax &&
                        pressedButton_ + (WM_LBUTTONUP - WM_LBUTTONDOWN) == link.msg;
      pressed_ = {-1, -1};
      if (!same || link.chrg.cpMax <= link.chrg.cpMin) return;
      std::wstring address(static_cast<std::size_t>(link.chrg.cpMax - link.chrg.cpMin) + 1, L'\0');
      TEXTRANGEW range{link.chrg, address.data()};
      address.resize(static_cast<std::size_t>(
          SendMessageW(edit_, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range))));
      if (!address.empty()) OpenAddress(owner, address);
      return;
    }
    default:
      return;
  }
}

}  // namespace quorvane::win
