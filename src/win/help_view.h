// `JvRichEdit1`: the help document (RTF made at build time from the help's HTML) in a read-only
// RichEdit that recognises web addresses; a left or right click on one opens it.
#pragma once

#include <windows.h>

#include <richedit.h>

namespace quorvane::win {

class HelpView {
 public:
  // Creates the viewer as child `id` of `parent` and loads the help document into it.
  HelpView(HWND parent, int id);
  HWND Handle() const { return edit_; }
  // The viewer's EN_LINK notification; `owner` owns the shell's open request.
  void Link(const ENLINK& link, HWND owner);

 private:
  HWND edit_ = nullptr;
  CHARRANGE pressed_{-1, -1};
  UINT pressedButton_ = 0;
};

}  // namespace quorvane::win
