// One copy of the program per user and settings file: a named mutex, and beside it a named
// shared word in which the first copy leaves its window for later copies to bring to the front.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

namespace quorvane::win {

class SingleInstance {
 public:
  explicit SingleInstance(const std::filesystem::path& settingsFile);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True for the first copy. A later copy brings the first copy's window to the front and
  // gets false.
  bool Claim();
  // The first copy's main window, for later copies.
  void Publish(HWND window);

 private:
  std::wstring name_;
  HANDLE mutex_ = nullptr;
  HANDLE shared_ = nullptr;
};

}  // namespace quorvane::win
