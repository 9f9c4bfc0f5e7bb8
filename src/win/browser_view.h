// The report view `WB`: the system's web browser control (CLSID_WebBrowser) hosted in a child
// window. It shows the report file only: navigation elsewhere and new windows are refused (web
// addresses go to the user's browser), script errors stay silent, its own context menu is
// replaced by the window's, and Ctrl+N and Ctrl+A are switched off.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

namespace quorvane::win {

struct BrowserEvents {
  std::function<void(POINT screen)> contextMenu;  // in place of the control's own menu
  std::function<void(const std::wstring& url)> openElsewhere;
  // No document arrived for the report: the window shows its own page instead.
  std::function<void()> noDocument;
};

class BrowserView {
 public:
  // Nothing when the control or its HTML engine is missing (as under Wine without its engine).
  static std::unique_ptr<BrowserView> Create(HWND parent, BrowserEvents events);
  ~BrowserView();
  BrowserView(const BrowserView&) = delete;
  BrowserView& operator=(const BrowserView&) = delete;

  // Shows `url` (the report) or the empty page. A report must bring a document within a few
  // seconds; the control's return codes alone say nothing (Wine returns success and shows
  // nothing).
  void Navigate(const std::wstring& url);
  void ShowEmptyPage();
  void Place(const RECT& area);
  void Show(bool visible);
  // The WM_TIMER of the document watch.
  void Timer(UINT_PTR id);

  void SelectAll();
  void Copy();
  // The control's own print preview, with the page header and footer given.
  void PrintPreview(const std::wstring& header, const std::wstring& footer);

  class Site;

 private:
  struct Control;
  BrowserView();

  HWND host_ = nullptr;
  std::unique_ptr<Site, void (*)(Site*)> site_{nullptr, nullptr};
  std::unique_ptr<Control> control_;
};

}  // namespace quorvane::win
