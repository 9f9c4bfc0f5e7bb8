#include "cli/interrupt_watcher.h"

#include <csignal>
#include <ctime>

namespace quorvane::cli {

namespace {

#ifndef _WIN32
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
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
#ifdef SIGHUP
    case SIGHUP:
      return "SIGHUP";
#endif
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
  // Waiting in slices lets the destructor end the thread without sending a signal of its own.
  const timespec slice{0, 100'000'000};
  while (!stopping_) {
    const int signal = sigtimedwait(&set, nullptr, &slice);
    if (signal <= 0) continue;
    int none = 0;
    received_.compare_exchange_strong(none, signal);
    onInterrupt_(signal);
  }
}

#endif

}  // namespace quorvane::cli
