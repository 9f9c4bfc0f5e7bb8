#include "shell/ui_poster.h"

namespace quorvane::shell {

bool TaskQueue::Push(std::function<void()> task) {
  const std::lock_guard lock(mutex_);
  tasks_.push_back(std::move(task));
  return tasks_.size() == 1;
}

void TaskQueue::RunPending() {
  std::deque<std::function<void()>> due;
  {
    const std::lock_guard lock(mutex_);
    due.swap(tasks_);
  }
  for (auto& task : due) task();
}

}  // namespace quorvane::shell
