// The main queue over std::thread: a task deque and a timer heap guarded by one
// mutex, which the main thread runs forever.
#include "platform/main_queue.h"

#include "platform/threads/main_queue_impl.h"

namespace pemrix::platform {

MainQueue::MainQueue(Clock& clock) : impl_(std::make_unique<Impl>(clock)) {}
MainQueue::~MainQueue() = default;

void MainQueue::async(Task task) {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->tasks.push_back(std::move(task));
  }
  impl_->wake.notify_all();
}

void MainQueue::sync(Task task) {
  std::mutex doneMutex;
  std::condition_variable doneSignal;
  bool done = false;
  async([&] {
    task();
    std::lock_guard<std::mutex> lock(doneMutex);
    done = true;
    doneSignal.notify_all();
  });
  std::unique_lock<std::mutex> lock(doneMutex);
  doneSignal.wait(lock, [&] { return done; });
}

DelayedTask MainQueue::after(double seconds, Task task) {
  auto state = std::make_shared<DelayedTask::State>();
  state->task = std::move(task);
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    state->due = impl_->clock.uptime() + seconds;
    state->sequence = impl_->sequence++;
    impl_->timers.push(state);
  }
  impl_->wake.notify_all();
  return DelayedTask(state);
}

void MainQueue::run() {
  for (;;) {
    Task task;
    {
      std::unique_lock<std::mutex> lock(impl_->mutex);
      for (;;) {
        task = impl_->takeReady();
        if (task) break;
        double due = impl_->nextDue();
        if (due < 0) {
          impl_->wake.wait(lock);
        } else {
          impl_->wake.wait_for(lock, std::chrono::duration<double>(due - impl_->clock.uptime()));
        }
      }
    }
    task();
  }
}

}  // namespace pemrix::platform
