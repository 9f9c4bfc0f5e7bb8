// The enabling table of the report tab. The core keeps one ReportTabState and hands the whole
// table to WindowView::ApplyEnabling after every change; a front-end sets each control from it
// and decides nothing itself.
#pragma once

#include <string_view>

namespace quorvane::shell {

struct ReportTabEnabling {
  bool serverBox = true;
  bool windowsAuthentication = true;
  bool connect = false;  // only with a server text that is not blank
  bool saveOutput = false;
  bool close = true;
  bool printPreviewVisible = false;
  bool progressBar = false;  // as SetProgress leaves it; a front-end may follow either
  // The viewer's context menu (Select All, Copy, Print Preview): once a first report is shown.
  bool reportMenu = false;
  bool operator==(const ReportTabEnabling&) const = default;
};

class ReportTabState {
 public:
  const ReportTabEnabling& Current() const { return current_; }

  // The server box's text changed (typed, picked, loaded, cleared).
  void ServerTextChanged(std::string_view text);
  // The run disables (false) and re-enables (true) what could start another run or close.
  void RunControls(bool enabled);
  // The progress bar's timer runs while the bar is enabled.
  void Progress(bool running);
  // After a failed connection or an error that escaped a handler: Connect can be pressed again.
  void RestoreIdle();
  // A run completed and its report is shown.
  void ReportShown();

 private:
  ReportTabEnabling current_;
};

// True when the server text holds something else than white space.
bool HasServerText(std::string_view text);

}  // namespace quorvane::shell
