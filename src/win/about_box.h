// `TAboutBox`: the About box (modal, with OK) and, changed at run time, the start-up splash
// (no border, no title bar, no OK), whose links work while it waits.
#pragma once

#include <windows.h>

#include <cstdint>

namespace quorvane::win {

// Shows the About box modally over `owner`.
void ShowAboutBox(HWND owner);

class Splash {
 public:
  Splash();
  ~Splash();
  Splash(const Splash&) = delete;
  Splash& operator=(const Splash&) = delete;

  HWND Window() const { return window_; }

 private:
  HWND window_ = nullptr;
};

// `LongDelay`: waits `ms` milliseconds, handling the window messages that arrive meanwhile.
void LongDelay(std::uint32_t ms);

}  // namespace quorvane::win
