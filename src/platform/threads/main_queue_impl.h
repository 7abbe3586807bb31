// The state of the std::thread main queue (threads/main_queue.cc): queued tasks and a timer
// heap guarded by one mutex. Tests that drive the queue by hand on virtual time reach it
// through `MainQueueAccess` (see platform/main_queue.h) and run exactly what
// `MainQueue::run` would.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <queue>
#include <vector>

#include "platform/delayed_task_state.h"
#include "platform/main_queue.h"

namespace pemrix::platform {

// Orders the timer heap by due time, then by scheduling order.
struct TimerOrder {
  bool operator()(const std::shared_ptr<DelayedTask::State>& a,
                  const std::shared_ptr<DelayedTask::State>& b) const {
    if (a->due != b->due) return a->due > b->due;
    return a->sequence > b->sequence;
  }
};

struct MainQueue::Impl {
  explicit Impl(Clock& c) : clock(c) {}

  // Takes the next piece of work that is ready: a queued task first, then a due timer.
  // Returns an empty task when nothing is ready. Called with `mutex` held.
  Task takeReady() {
    if (!tasks.empty()) {
      Task task = std::move(tasks.front());
      tasks.pop_front();
      return task;
    }
    while (!timers.empty() && timers.top()->due <= clock.uptime()) {
      std::shared_ptr<DelayedTask::State> timer = timers.top();
      timers.pop();
      if (!timer->cancelled && timer->task) {
        return [timer] {
          if (!timer->cancelled) timer->task();
        };
      }
    }
    return nullptr;
  }

  // The earliest due time of a timer still pending, or a negative value when none is.
  double nextDue() {
    while (!timers.empty() && timers.top()->cancelled) timers.pop();
    return timers.empty() ? -1 : timers.top()->due;
  }

  Clock& clock;
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<Task> tasks;
  std::priority_queue<std::shared_ptr<DelayedTask::State>,
                      std::vector<std::shared_ptr<DelayedTask::State>>, TimerOrder>
      timers;
  uint64_t sequence = 0;
};

}  // namespace pemrix::platform
