// The main queue over std::thread: a task deque and a timer heap guarded by one
// mutex. The main thread runs it forever in the product; tests drive it by hand on a
// manual clock with `runReady`, `advance` and `waitForTask`.
#include "platform/main_queue.h"

#include "platform/delayed_task_state.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <queue>
#include <vector>

namespace pemrix::platform {

namespace {

// Orders the timer heap by due time, then by scheduling order.
struct LaterFirst {
  bool operator()(const std::shared_ptr<DelayedTask::State>& a,
                  const std::shared_ptr<DelayedTask::State>& b) const {
    if (a->due != b->due) return a->due > b->due;
    return a->sequence > b->sequence;
  }
};

}  // namespace

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
                      std::vector<std::shared_ptr<DelayedTask::State>>, LaterFirst>
      timers;
  uint64_t sequence = 0;
};

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

std::size_t MainQueue::runReady() {
  std::size_t ran = 0;
  for (;;) {
    Task task;
    {
      std::lock_guard<std::mutex> lock(impl_->mutex);
      task = impl_->takeReady();
    }
    if (!task) return ran;
    task();
    ++ran;
  }
}

void MainQueue::advance(double seconds) {
  const double target = impl_->clock.uptime() + seconds;
  runReady();
  for (;;) {
    double due;
    {
      std::lock_guard<std::mutex> lock(impl_->mutex);
      due = impl_->nextDue();
    }
    if (due < 0 || due > target) break;
    impl_->clock.advance(due - impl_->clock.uptime());
    runReady();
  }
  impl_->clock.advance(target - impl_->clock.uptime());
  runReady();
}

bool MainQueue::waitForTask(double realSeconds) {
  std::unique_lock<std::mutex> lock(impl_->mutex);
  return impl_->wake.wait_for(lock, std::chrono::duration<double>(realSeconds),
                              [&] { return !impl_->tasks.empty(); });
}

}  // namespace pemrix::platform
