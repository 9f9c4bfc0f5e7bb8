#pragma once

#include <ostream>
#include <string>

#include "cli/cli_options.h"
#include "report/report_host.h"

namespace quorvane::cli {

// The report host of the command line: settings from the options, progress on a stream.
class ConsoleHost : public report::ReportHost {
 public:
  ConsoleHost(const CliOptions& options, std::ostream& progress)
      : options_(options), progress_(progress) {}

  void ProcessEvents() override {}
  void SetRunControlsEnabled(bool) override {}
  void SetStatusText(const std::string& text) override { status_ = text; }
  void StartProgress() override {}
  void StopProgress() override {}
  void RestoreDefaultCursor() override {}
  // The warning's text reaches the user through the summary line instead.
  void ShowWarning(const std::string&, const std::string&) override {}
  void Navigate(const std::string&) override {}
  void SectionStarted(std::string_view heading) override {
    progress_ << "  " << heading << "\n" << std::flush;
  }

  bool AllowCmdShell() const override { return options_.allowCmdShell; }
  bool AllowOACreate() const override { return options_.allowOACreate; }
  bool IgnoreReplicationSection() const override { return options_.ignoreReplication; }
  int JobHistory() const override { return options_.jobHistory; }
  int JobHistoryLimit() const override { return options_.jobHistoryLimit; }

  const std::string& Status() const { return status_; }

 private:
  const CliOptions& options_;
  std::ostream& progress_;
  std::string status_;
};

}  // namespace quorvane::cli
