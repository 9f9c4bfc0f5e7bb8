#include "app/run_host.h"

namespace quorvane::app {

RunHost::RunHost(QObject* parent) : QObject(parent) {}

void RunHost::SetRunSettings(const RunSettings& settings) {
  const std::lock_guard lock(mutex_);
  settings_ = settings;
}

RunSettings RunHost::Settings() const {
  const std::lock_guard lock(mutex_);
  return settings_;
}

void RunHost::ProcessEvents() {
  // The run calls this before every append: the point at which it can stop cleanly.
  if (stopRequested_) throw RunStopped();
}

bool RunHost::AllowCmdShell() const {
  return Settings().allowCmdShell;
}
bool RunHost::AllowOACreate() const {
  return Settings().allowOACreate;
}
bool RunHost::IgnoreReplicationSection() const {
  return Settings().ignoreReplicationSection;
}
int RunHost::JobHistory() const {
  return Settings().jobHistory;
}
int RunHost::JobHistoryLimit() const {
  return Settings().jobHistoryLimit;
}
bool RunHost::Findings() const {
  return Settings().findings;
}

void RunHost::Cleared() {
  bool notify = false;
  {
    const std::lock_guard lock(mutex_);
    appended_.clear();
    cleared_ = true;
    notify = !std::exchange(flushPending_, true);
  }
  if (notify) emit bufferGrew();
}

void RunHost::Appended(std::string_view entry) {
  bool notify = false;
  {
    const std::lock_guard lock(mutex_);
    appended_.push_back(QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size())));
    notify = !std::exchange(flushPending_, true);
  }
  if (notify) emit bufferGrew();
}

QStringList RunHost::TakeAppended(bool& cleared) {
  const std::lock_guard lock(mutex_);
  cleared = std::exchange(cleared_, false);
  flushPending_ = false;
  return std::exchange(appended_, {});
}

}  // namespace quorvane::app
