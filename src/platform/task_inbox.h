// The tasks posted to a service's own thread (the EDS layer's GLib thread, the Akonadi
// layer's Qt thread), in the order they were posted, until that thread takes them one at a
// time between its own events.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <deque>
#include <mutex>
#include <utility>

#include "platform/main_queue.h"

namespace pemrix::platform {

class TaskInbox {
 public:
  void push(Task task) {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
  }

  // The oldest task, taken out; null when there is none.
  Task take() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (tasks_.empty()) return nullptr;
    Task task = std::move(tasks_.front());
    tasks_.pop_front();
    return task;
  }

  bool pending() {
    std::lock_guard<std::mutex> lock(mutex_);
    return !tasks_.empty();
  }

 private:
  std::mutex mutex_;
  std::deque<Task> tasks_;  // guarded by mutex_
};

}  // namespace pemrix::platform
