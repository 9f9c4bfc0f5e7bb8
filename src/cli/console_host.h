#pragma once

#include <mutex>
#include <ostream>
#include <string>

#include "cli/cli_options.h"
#include "report/report_host.h"

namespace quorvane::cli {

// The report host of the command line: settings from the options, progress on a stream. On a
// terminal the progress line also counts the queries of the section, so that a slow server is
// never a silent wait; elsewhere (a log file) it is one line per section.
class ConsoleHost : public report::ReportHost {
 public:
  ConsoleHost(const CliOptions& options, std::ostream& progress, bool terminal)
      : options_(options), progress_(progress), terminal_(terminal) {}

  void ProcessEvents() override {}
  void SetRunControlsEnabled(bool) override {}
  void SetStatusText(const std::string& text) override { status_ = text; }
  void StartProgress() override {}
  void StopProgress() override { EndLine(); }
  void RestoreDefaultCursor() override {}
  // The warning's text reaches the user through the summary line instead.
  void ShowWarning(const std::string&, const std::string&) override {}
  void Navigate(const std::string&) override {}
  void SectionStarted(std::string_view heading, int number, int count) override;
  void QueryStarted() override;
  void Notify(const std::string& text) override;

  bool AllowCmdShell() const override { return options_.allowCmdShell; }
  bool AllowOACreate() const override { return options_.allowOACreate; }
  bool IgnoreReplicationSection() const override { return options_.ignoreReplication; }
  int JobHistory() const override { return options_.jobHistory; }
  int JobHistoryLimit() const override { return options_.jobHistoryLimit; }

  const std::string& Status() const { return status_; }
  // Ends the open progress line, so that a message from elsewhere starts on its own line.
  void EndLine();

 private:
  const CliOptions& options_;
  std::ostream& progress_;
  const bool terminal_;
  std::string status_;
  std::string section_;
  int queries_ = 0;
  bool lineOpen_ = false;
  std::mutex mutex_;  // an interrupt's message comes from another thread
};

}  // namespace quorvane::cli
