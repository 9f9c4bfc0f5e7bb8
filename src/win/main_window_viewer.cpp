// The main window's report view: the browser control where the system has one that can show the
// report, the window's own page where not, and the view's popup menu.
#include <filesystem>
#include <string>

#include "report/text.h"
#include "win/links.h"
#include "win/main_window.h"
#include "win/window_text.h"

namespace quorvane::win {

namespace {

enum MenuCommand : int { kSelectAll = 1, kCopy, kPrintPreview };

// Above this the preview may take minutes and run out of memory: the user is asked first.
constexpr std::uintmax_t kLargePrintBytes = 4 * 1024 * 1024;
// Measured on the demo report printed on A4 (its tables of short values).
constexpr std::uintmax_t kBytesPerPage = 7000;

}  // namespace

void TForm1::CreateBrowser() {
  BrowserEvents events;
  events.contextMenu = [this](POINT at) { WBShowContextMenu(at); };
  events.openElsewhere = [this](const std::wstring& url) { OpenAddress(hwnd_, url); };
  events.noDocument = [this] { ShowFallbackPage(true); };
  browser_ = BrowserView::Create(WB, std::move(events));
  ShowFallbackPage(!browser_);
}

void TForm1::ShowFallbackPage(bool fallback) {
  if (browser_) browser_->Show(!fallback);
  ShowWindow(ReportText, fallback ? SW_SHOW : SW_HIDE);
  ShowWindow(OpenReportButton, fallback && !reportUrl_.empty() ? SW_SHOW : SW_HIDE);
}

void TForm1::PlaceBrowser() {
  if (!browser_) return;
  RECT area;
  GetClientRect(WB, &area);
  browser_->Place(area);
}

void TForm1::WBShowContextMenu(POINT at) {
  if (!reportShown_) return;  // before the first report no menu shows
  HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, MF_STRING, kSelectAll, L"Select All");
  AppendMenuW(menu, MF_STRING, kCopy, L"Copy");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, kPrintPreview, L"Print Preview");
  const int chosen =
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd_, nullptr);
  DestroyMenu(menu);
  if (!browser_) return;
  if (chosen == kSelectAll) browser_->SelectAll();
  if (chosen == kCopy) browser_->Copy();
  if (chosen == kPrintPreview) PrintPreviewClick();
}

void TForm1::PrintPreviewClick() {
  if (!browser_ || reportUrl_.empty()) return;
  std::error_code error;
  const std::uintmax_t bytes =
      std::filesystem::file_size(core_->Run().TemporaryReportFile(), error);
  if (!error && bytes > kLargePrintBytes) {
    const std::string megabytes = std::to_string(bytes * 10 / (1024 * 1024));
    const std::string text =
        "The report is " + megabytes.substr(0, megabytes.size() - 1) + "." + megabytes.back() +
        " MB, about " + report::GroupThousands(std::to_string(bytes / kBytesPerPage)) +
        " printed pages. Preparing the preview may take minutes, and the viewer may run out of "
        "memory on a report this large. Continue?";
    if (!AskYesNo("Print Preview", text)) return;
  }
  // The title and "Page 3 of 7" at the top, the address and the date at the bottom.
  browser_->PrintPreview(L"&w&bPage &p of &P", L"&u&b&d");
}

}  // namespace quorvane::win
