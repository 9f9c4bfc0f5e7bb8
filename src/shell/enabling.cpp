#include "shell/enabling.h"

#include <algorithm>

namespace quorvane::shell {

bool HasServerText(std::string_view text) {
  // As the window's own trimming: every ASCII white-space character counts as blank.
  return std::any_of(text.begin(), text.end(), [](char c) {
    return c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\v' && c != '\f';
  });
}

void ReportTabState::ServerTextChanged(std::string_view text) {
  current_.connect = HasServerText(text);
  current_.saveOutput = false;
}

void ReportTabState::RunControls(bool enabled) {
  current_.serverBox = enabled;
  current_.saveOutput = enabled;
  current_.connect = enabled;
  current_.close = enabled;
  current_.windowsAuthentication = enabled;
  current_.printPreviewVisible = enabled;
}

void ReportTabState::Progress(bool running) {
  current_.progressBar = running;
}

void ReportTabState::RestoreIdle() {
  current_.progressBar = false;
  current_.serverBox = true;
  current_.connect = true;
  current_.close = true;
  current_.windowsAuthentication = true;
}

void ReportTabState::ReportShown() {
  current_.reportMenu = true;
}

}  // namespace quorvane::shell
