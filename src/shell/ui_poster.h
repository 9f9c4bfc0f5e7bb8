// How the report's worker thread reaches the user-interface thread. A front-end implements
// UiPoster so that every posted task runs later on its UI thread, one at a time, in the order
// posted: Qt with QMetaObject::invokeMethod(..., Qt::QueuedConnection), Win32 with a TaskQueue
// that Post fills and a PostMessage(hwnd, WM_APP + n) whose handler calls RunPending.
#pragma once

#include <deque>
#include <functional>
#include <mutex>

namespace quorvane::shell {

class UiPoster {
 public:
  virtual ~UiPoster() = default;
  // From any thread; never runs `task` before returning.
  virtual void Post(std::function<void()> task) = 0;
};

// Tasks waiting for the UI thread, for a front-end whose wake-up message carries no closure.
class TaskQueue {
 public:
  // From any thread. True when the queue was empty, i.e. one wake-up message is due.
  bool Push(std::function<void()> task);
  // On the UI thread: runs the tasks queued so far, in order.
  void RunPending();

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;
};

}  // namespace quorvane::shell
