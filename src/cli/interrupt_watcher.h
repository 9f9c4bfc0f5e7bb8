#pragma once

#include <atomic>
#include <functional>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#endif

namespace quorvane::cli {

// Turns an interrupt (SIGINT, SIGTERM, SIGHUP; Ctrl+C, Ctrl+Break or a closed console on
// Windows) into a call of `onInterrupt(signal)` on a thread of its own, where it may do what a
// signal handler may not: cancel a statement, take a lock. Create it before other threads start,
// since they inherit the blocked signals; the old mask is restored when it goes.
class InterruptWatcher {
 public:
  explicit InterruptWatcher(std::function<void(int signal)> onInterrupt);
  ~InterruptWatcher();
  InterruptWatcher(const InterruptWatcher&) = delete;
  InterruptWatcher& operator=(const InterruptWatcher&) = delete;

  // The interrupts by their POSIX numbers, on every system.
  static constexpr int kHangUp = 1;
  static constexpr int kInterrupt = 2;
  static constexpr int kTerminate = 15;

  // The first signal received, 0 for none.
  int Received() const { return received_; }

  // The exit status of a program ended by `signal`, as a shell reports it: 128 + its number.
  static int ExitStatusFor(int signal) { return 128 + signal; }
  static const char* NameOf(int signal);

 private:
#ifdef _WIN32
  static BOOL WINAPI OnConsoleEvent(DWORD event);
#else
  void Watch();
#endif

  std::function<void(int)> onInterrupt_;
  std::atomic<int> received_{0};
  std::atomic<bool> stopping_{false};
  std::thread thread_;
#ifndef _WIN32
  sigset_t previousMask_{};
#endif
};

}  // namespace quorvane::cli
