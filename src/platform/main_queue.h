// MainQueue: the serial queue that the main thread runs. Every operation of the bridge
// controller, both of its timers and every output line run here, one task at a time, in
// submission order.
//
// Thread safety: `async` may be called from any thread; `sync` from any thread but the
// main thread (the input reader uses it to hand over one line at a time); `after` and
// `DelayedTask::cancel` only from tasks running on the queue. A delayed task cancelled
// before it has started never runs.
//
// Implementations: Dispatch's main queue with the main run loop on Apple platforms
// (apple/main_queue.mm); a mutex, a condition variable and a timer heap elsewhere
// (threads/main_queue.cc).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "platform/clock.h"

namespace pemrix::platform {

using Task = std::function<void()>;

// A delayed task scheduled with `MainQueue::after`. Copies share the same task.
class DelayedTask {
 public:
  struct State;
  DelayedTask() = default;
  explicit DelayedTask(std::shared_ptr<State> state) : state_(std::move(state)) {}

  // Keeps the task from running if it has not started yet. Main queue only.
  void cancel();

 private:
  std::shared_ptr<State> state_;
};

class MainQueue {
 public:
  // Delayed tasks are counted on `clock.uptime()`.
  explicit MainQueue(Clock& clock);
  ~MainQueue();
  MainQueue(const MainQueue&) = delete;
  MainQueue& operator=(const MainQueue&) = delete;

  // Submits `task` to run later on the main thread and returns at once.
  void async(Task task);
  // Submits `task` and blocks the calling thread until it has run.
  void sync(Task task);
  // Schedules `task` to run once, `seconds` from now on the monotonic clock.
  DelayedTask after(double seconds, Task task);

  // Hands the calling (main) thread to the queue for good. The process then ends only
  // through an exit inside a task.
  [[noreturn]] void run();

 private:
  // The implementation's own state.
  struct Impl;
  // The one way to that state from outside the implementation. Nothing in the product
  // defines it; the test-support library (tests/support/) does, to run the std::thread
  // queue's tasks on the test's own thread at virtual moments, exactly as `run` would,
  // instead of handing a thread to `run` for good.
  friend struct MainQueueAccess;

  std::unique_ptr<Impl> impl_;
};

}  // namespace pemrix::platform
