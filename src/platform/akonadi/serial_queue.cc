// The stores' serial queue over Akonadi: its tasks run on the Qt thread, where the Akonadi
// jobs and the change monitor live and their signals arrive. The queue keeps its own list so that
// destroying it drops the tasks that have not started.
#include "platform/serial_queue.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/akonadi/qt_thread.h"

namespace pemrix::platform {

namespace {

// Shared with the steps posted to the GLib thread, which may run after the queue is gone.
struct QueueState {
  // Runs the oldest task, unless the queue was destroyed meanwhile.
  void runNext() {
    Task task;
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (closing || tasks.empty()) return;
      task = std::move(tasks.front());
      tasks.pop_front();
      running = true;
    }
    task();
    {
      std::lock_guard<std::mutex> lock(mutex);
      running = false;
    }
    idle.notify_all();
  }

  std::mutex mutex;
  std::condition_variable idle;
  std::deque<Task> tasks;  // guarded by mutex
  bool running = false;    // guarded by mutex
  bool closing = false;    // guarded by mutex
};

}  // namespace

struct SerialQueue::Impl {
  std::shared_ptr<QueueState> state = std::make_shared<QueueState>();
};

SerialQueue::SerialQueue(const std::string& /*label*/) : impl_(std::make_unique<Impl>()) {}

SerialQueue::~SerialQueue() {
  QueueState& state = *impl_->state;
  std::unique_lock<std::mutex> lock(state.mutex);
  state.closing = true;
  state.tasks.clear();
  // A task that destroys its own queue cannot wait for itself.
  if (!akonadi::QtThread::instance().isCurrent()) {
    state.idle.wait(lock, [&] { return !state.running; });
  }
}

void SerialQueue::async(Task task) {
  {
    std::lock_guard<std::mutex> lock(impl_->state->mutex);
    impl_->state->tasks.push_back(std::move(task));
  }
  akonadi::QtThread::instance().post([state = impl_->state] { state->runNext(); });
}

void runInBackground(Task task) {
  std::thread(std::move(task)).detach();
}

}  // namespace pemrix::platform
