// The report host of a run on a worker thread (used by WindowCore). Everything the run tells
// the window is posted to the UI thread, in order, and reaches a RunMessages there; what it
// reads of the Settings tab comes from a copy the UI thread keeps up to date; the report
// buffer's growth is collected and handed over in batches.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "report/report_buffer.h"
#include "report/report_host.h"
#include "shell/settings_values.h"
#include "shell/ui_poster.h"

namespace quorvane::shell {

// What the run's messages do on the UI thread.
class RunMessages {
 public:
  virtual ~RunMessages() = default;
  virtual void RunControlsEnabled(bool enabled) = 0;
  virtual void RunStatusText(const std::string& text) = 0;
  virtual void RunProgress(bool running) = 0;
  virtual void RunDefaultCursor() = 0;
  virtual void RunWarning(const std::string& caption, const std::string& text) = 0;
  virtual void RunNavigate(const std::string& url) = 0;
  virtual void RunBufferGrew(const std::vector<std::string>& entries, bool cleared) = 0;
};

class PostingReportHost : public report::ReportHost, public report::ReportBuffer::Observer {
 public:
  PostingReportHost(UiPoster& poster, RunMessages& messages)
      : poster_(poster), messages_(messages) {}

  // From the UI thread.
  void SetRunSettings(const RunSettings& settings);
  void RequestStop() { stopRequested_ = true; }
  void ClearStopRequest() { stopRequested_ = false; }

  // report::ReportHost, from the run's thread.
  void ProcessEvents() override;
  void SetRunControlsEnabled(bool enabled) override;
  void SetStatusText(const std::string& text) override;
  void StartProgress() override;
  void StopProgress() override;
  void RestoreDefaultCursor() override;
  void ShowWarning(const std::string& caption, const std::string& text) override;
  void Navigate(const std::string& url) override;
  bool AllowCmdShell() const override { return Settings().allowCmdShell; }
  bool AllowOACreate() const override { return Settings().allowOACreate; }
  bool IgnoreReplicationSection() const override { return Settings().ignoreReplicationSection; }
  int JobHistory() const override { return Settings().jobHistory; }
  int JobHistoryLimit() const override { return Settings().jobHistoryLimit; }
  // Whether the report ends with its Findings section, as the box is when the run gets there.
  bool Findings() const { return Settings().findings; }

  // report::ReportBuffer::Observer
  void Cleared() override;
  void Appended(std::string_view entry) override;

 private:
  RunSettings Settings() const;
  void Post(std::function<void(RunMessages&)> message);
  // Posts one hand-over for the entries collected, unless one is on its way.
  void PostBufferGrowth(bool due);

  UiPoster& poster_;
  RunMessages& messages_;
  mutable std::mutex mutex_;
  RunSettings settings_;
  std::vector<std::string> appended_;
  bool cleared_ = false;
  bool flushPending_ = false;
  std::atomic<bool> stopRequested_{false};
};

}  // namespace quorvane::shell
