#include "shell/run_host.h"

#include <utility>

#include "report/run_stopped.h"

namespace quorvane::shell {

void PostingReportHost::SetRunSettings(const RunSettings& settings) {
  const std::lock_guard lock(mutex_);
  settings_ = settings;
}

RunSettings PostingReportHost::Settings() const {
  const std::lock_guard lock(mutex_);
  return settings_;
}

void PostingReportHost::Post(std::function<void(RunMessages&)> message) {
  poster_.Post([this, message = std::move(message)] { message(messages_); });
}

void PostingReportHost::ProcessEvents() {
  // The run calls this before every append: the point at which it can stop cleanly.
  if (stopRequested_) throw report::RunStopped("The report was stopped.");
}

void PostingReportHost::SetRunControlsEnabled(bool enabled) {
  Post([enabled](RunMessages& m) { m.RunControlsEnabled(enabled); });
}

void PostingReportHost::SetStatusText(const std::string& text) {
  Post([text](RunMessages& m) { m.RunStatusText(text); });
}

void PostingReportHost::StartProgress() {
  Post([](RunMessages& m) { m.RunProgress(true); });
}

void PostingReportHost::StopProgress() {
  Post([](RunMessages& m) { m.RunProgress(false); });
}

void PostingReportHost::RestoreDefaultCursor() {
  Post([](RunMessages& m) { m.RunDefaultCursor(); });
}

void PostingReportHost::ShowWarning(const std::string& caption, const std::string& text) {
  Post([caption, text](RunMessages& m) { m.RunWarning(caption, text); });
}

void PostingReportHost::Navigate(const std::string& url) {
  Post([url](RunMessages& m) { m.RunNavigate(url); });
}

void PostingReportHost::Cleared() {
  bool due = false;
  {
    const std::lock_guard lock(mutex_);
    appended_.clear();
    cleared_ = true;
    due = !std::exchange(flushPending_, true);
  }
  PostBufferGrowth(due);
}

void PostingReportHost::Appended(std::string_view entry) {
  bool due = false;
  {
    const std::lock_guard lock(mutex_);
    appended_.emplace_back(entry);
    due = !std::exchange(flushPending_, true);
  }
  PostBufferGrowth(due);
}

void PostingReportHost::PostBufferGrowth(bool due) {
  if (!due) return;
  poster_.Post([this] {
    std::vector<std::string> entries;
    bool cleared = false;
    {
      const std::lock_guard lock(mutex_);
      entries = std::exchange(appended_, {});
      cleared = std::exchange(cleared_, false);
      flushPending_ = false;
    }
    messages_.RunBufferGrew(entries, cleared);
  });
}

}  // namespace quorvane::shell
