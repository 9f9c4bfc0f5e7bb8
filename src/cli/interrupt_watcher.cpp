#include "cli/interrupt_watcher.h"

#include <csignal>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#endif

namespace quorvane::cli {

namespace {

#ifndef _WIN32
static_assert(SIGHUP == InterruptWatcher::kHangUp && SIGINT == InterruptWatcher::kInterrupt &&
              SIGTERM == InterruptWatcher::kTerminate);

sigset_t InterruptSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}
#endif

}  // namespace

const char* InterruptWatcher::NameOf(int signal) {
  switch (signal) {
    case kInterrupt:
      return "SIGINT";
    case kTerminate:
      return "SIGTERM";
    case kHangUp:
      return "SIGHUP";
    default:
      return "a signal";
  }
}

#ifndef _WIN32

InterruptWatcher::InterruptWatcher(std::function<void(int signal)> onInterrupt)
    : onInterrupt_(std::move(onInterrupt)) {
  const sigset_t set = InterruptSignals();
  pthread_sigmask(SIG_BLOCK, &set, &previousMask_);
  thread_ = std::thread([this] { Watch(); });
}

InterruptWatcher::~InterruptWatcher() {
  stopping_ = true;
  thread_.join();
  pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

void InterruptWatcher::Watch() {
  const sigset_t set = InterruptSignals();
  // Waiting in slices lets the destructor end the thread without sending a signal of its own;
  // short ones, since the program's exit waits for the slice to end.
  const timespec slice{0, 10'000'000};
  while (!stopping_) {
    const int signal = sigtimedwait(&set, nullptr, &slice);
    if (signal <= 0) continue;
    int none = 0;
    received_.compare_exchange_strong(none, signal);
    onInterrupt_(signal);
  }
}

#else

namespace {

// The console's control handler is a plain function the system calls on a thread of its own.
std::atomic<InterruptWatcher*> activeWatcher{nullptr};

}  // namespace

BOOL WINAPI InterruptWatcher::OnConsoleEvent(DWORD event) {
  InterruptWatcher* watcher = activeWatcher.load();
  if (!watcher) return FALSE;
  // The statuses the same interrupts have on Linux: Ctrl+C as SIGINT, Ctrl+Break as SIGTERM,
  // a closed console (or logoff, shutdown) as SIGHUP.
  const int signal = event == CTRL_C_EVENT       ? kInterrupt
                     : event == CTRL_BREAK_EVENT ? kTerminate
                                                 : kHangUp;
  int none = 0;
  watcher->received_.compare_exchange_strong(none, signal);
  watcher->onInterrupt_(signal);
  if (signal == kHangUp) {
    // The process ends when this returns: give the run a moment to close the report.
    ::Sleep(4000);
  }
  return TRUE;
}

InterruptWatcher::InterruptWatcher(std::function<void(int signal)> onInterrupt)
    : onInterrupt_(std::move(onInterrupt)) {
  activeWatcher = this;
  ::SetConsoleCtrlHandler(&InterruptWatcher::OnConsoleEvent, TRUE);
}

InterruptWatcher::~InterruptWatcher() {
  ::SetConsoleCtrlHandler(&InterruptWatcher::OnConsoleEvent, FALSE);
  activeWatcher = nullptr;
}

#endif

}  // namespace quorvane::cli
