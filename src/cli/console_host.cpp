#include "cli/console_host.h"

namespace quorvane::cli {

void ConsoleHost::SectionStarted(std::string_view heading, int number, int count) {
  const std::lock_guard lock(mutex_);
  if (!terminal_) {
    progress_ << "  " << heading << "\n" << std::flush;
    return;
  }
  if (lineOpen_) progress_ << "\n";
  section_ =
      "[" + std::to_string(number) + "/" + std::to_string(count) + "] " + std::string(heading);
  queries_ = 0;
  progress_ << section_ << std::flush;
  lineOpen_ = true;
}

void ConsoleHost::QueryStarted() {
  const std::lock_guard lock(mutex_);
  if (!terminal_ || section_.empty()) return;
  // The line only grows, so rewriting it from its start needs no erasing.
  progress_ << "\r" << section_ << ": query " << ++queries_ << std::flush;
  lineOpen_ = true;
}

void ConsoleHost::Notify(const std::string& text) {
  SetStatusText(text);
  const std::lock_guard lock(mutex_);
  if (lineOpen_) progress_ << "\n";
  lineOpen_ = false;
  progress_ << text << "\n" << std::flush;
}

void ConsoleHost::EndLine() {
  const std::lock_guard lock(mutex_);
  if (lineOpen_) progress_ << "\n" << std::flush;
  lineOpen_ = false;
}

}  // namespace quorvane::cli
