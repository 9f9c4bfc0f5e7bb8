#pragma once

#include <string>
#include <string_view>

namespace quorvane::report {

// What a report run needs from the program that shows it: the main window implements it with
// widgets, the report command with the console and its options, tests with a recorder.
class ReportHost {
 public:
  virtual ~ReportHost() = default;

  // Lets the user interface handle what is waiting (repaints, the progress timer, input).
  virtual void ProcessEvents() = 0;

  // Disables (false) or enables (true) the controls that could start another run or close the
  // program: the server box, Save Output, Connect, Close and the Windows-authentication box;
  // Print Preview is hidden while disabled and shown again afterwards.
  virtual void SetRunControlsEnabled(bool enabled) = 0;
  virtual void SetStatusText(const std::string& text) = 0;
  // Enables the progress bar and starts its timer.
  virtual void StartProgress() = 0;
  // Stops the timer, puts the bar back to 0 and disables it.
  virtual void StopProgress() = 0;
  virtual void RestoreDefaultCursor() = 0;
  // A modal warning with a single OK button.
  virtual void ShowWarning(const std::string& caption, const std::string& text) = 0;
  // Points the report viewer at a URL.
  virtual void Navigate(const std::string& url) = 0;
  // The run has come to section `number` of `count` (the text of its heading), or is about to
  // send a query; for progress display only.
  virtual void SectionStarted(std::string_view /*heading*/, int /*number*/, int /*count*/) {}
  virtual void QueryStarted() {}
  // Something the user should hear of at once (the link to the server lost and re-established).
  virtual void Notify(const std::string& text) { SetStatusText(text); }

  // The Settings tab, read at the moment a row needs the value.
  virtual bool AllowCmdShell() const = 0;
  virtual bool AllowOACreate() const = 0;
  virtual bool IgnoreReplicationSection() const = 0;
  virtual int JobHistory() const = 0;
  virtual int JobHistoryLimit() const = 0;
};

}  // namespace quorvane::report
