// The stores' serial queue over std::thread: one worker thread taking tasks from
// a deque in order. The worker starts with the first task, so that a process that never
// does store work (it only answers "status") never starts it.
#include "platform/serial_queue.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace pemrix::platform {

struct SerialQueue::Impl {
  void work() {
    for (;;) {
      Task task;
      {
        std::unique_lock<std::mutex> lock(mutex);
        wake.wait(lock, [&] { return closing || !tasks.empty(); });
        if (closing) return;
        task = std::move(tasks.front());
        tasks.pop_front();
      }
      task();
    }
  }

  std::mutex mutex;
  std::condition_variable wake;
  std::deque<Task> tasks;
  bool closing = false;
  std::thread worker;
};

SerialQueue::SerialQueue(const std::string& /*label*/) : impl_(std::make_unique<Impl>()) {}

SerialQueue::~SerialQueue() {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->closing = true;
    impl_->tasks.clear();
  }
  impl_->wake.notify_all();
  if (impl_->worker.joinable()) impl_->worker.join();
}

void SerialQueue::async(Task task) {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->tasks.push_back(std::move(task));
    if (!impl_->worker.joinable()) {
      impl_->worker = std::thread([impl = impl_.get()] { impl->work(); });
    }
  }
  impl_->wake.notify_all();
}

void runInBackground(Task task) {
  std::thread(std::move(task)).detach();
}

}  // namespace pemrix::platform
