#pragma once

#include <string>
#include <vector>

#include "report/report_host.h"

namespace quorvane::testing {

// A report host that records what the run asked of it, with settings the test sets.
class RecordingHost : public report::ReportHost {
 public:
  void ProcessEvents() override { ++processEventsCalls; }
  void SetRunControlsEnabled(bool enabled) override {
    controlsEnabled = enabled;
    events.push_back(enabled ? "controls:on" : "controls:off");
  }
  void SetStatusText(const std::string& text) override {
    statusText = text;
    events.push_back("status:" + text);
  }
  void StartProgress() override {
    progressRunning = true;
    events.push_back("progress:start");
  }
  void StopProgress() override {
    progressRunning = false;
    events.push_back("progress:stop");
  }
  void RestoreDefaultCursor() override { events.push_back("cursor:default"); }
  void ShowWarning(const std::string& caption, const std::string& text) override {
    warnings.push_back(caption + "|" + text);
    events.push_back("warning");
  }
  void Navigate(const std::string& url) override {
    navigatedTo = url;
    events.push_back("navigate:" + url);
  }
  void SectionStarted(std::string_view heading, int number, int count) override {
    sections.emplace_back(heading);
    sectionNumbers.emplace_back(number, count);
  }

  bool AllowCmdShell() const override { return allowCmdShell; }
  bool AllowOACreate() const override { return allowOACreate; }
  bool IgnoreReplicationSection() const override { return ignoreReplication; }
  int JobHistory() const override { return jobHistory; }
  int JobHistoryLimit() const override { return jobHistoryLimit; }

  bool allowCmdShell = true;
  bool allowOACreate = true;
  bool ignoreReplication = false;
  int jobHistory = 100;
  int jobHistoryLimit = 20;

  int processEventsCalls = 0;
  bool controlsEnabled = true;
  bool progressRunning = false;
  std::string statusText;
  std::string navigatedTo;
  std::vector<std::string> warnings;
  std::vector<std::string> events;
  std::vector<std::string> sections;
  std::vector<std::pair<int, int>> sectionNumbers;
};

}  // namespace quorvane::testing
