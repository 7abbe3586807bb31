// The std::thread main queue driven by hand on virtual time, through its state.
#include "support/manual_queue.h"

#include <chrono>
#include <mutex>

#include "platform/threads/main_queue_impl.h"

namespace pemrix::platform {

// Declared a friend by MainQueue; defined here only. Each member takes the queue's lock
// and does one step of what `MainQueue::run` does.
struct MainQueueAccess {
  // The next task that is ready, or an empty one.
  static Task takeReady(MainQueue& queue) {
    MainQueue::Impl& impl = *queue.impl_;
    std::lock_guard<std::mutex> lock(impl.mutex);
    return impl.takeReady();
  }

  // The uptime at which the next pending delayed task is due, or a negative value.
  static double nextDue(MainQueue& queue) {
    MainQueue::Impl& impl = *queue.impl_;
    std::lock_guard<std::mutex> lock(impl.mutex);
    return impl.nextDue();
  }

  static bool waitForTask(MainQueue& queue, double realSeconds) {
    MainQueue::Impl& impl = *queue.impl_;
    std::unique_lock<std::mutex> lock(impl.mutex);
    return impl.wake.wait_for(lock, std::chrono::duration<double>(realSeconds),
                              [&] { return !impl.tasks.empty(); });
  }
};

}  // namespace pemrix::platform

namespace pemrix::testing {

using platform::MainQueueAccess;

std::size_t runReady(platform::MainQueue& queue) {
  std::size_t ran = 0;
  while (platform::Task task = MainQueueAccess::takeReady(queue)) {
    task();
    ++ran;
  }
  return ran;
}

void advance(platform::MainQueue& queue, ManualClock& clock, double seconds) {
  const double target = clock.uptime() + seconds;
  runReady(queue);
  for (;;) {
    double due = MainQueueAccess::nextDue(queue);
    if (due < 0 || due > target) break;
    clock.advance(due - clock.uptime());
    runReady(queue);
  }
  clock.advance(target - clock.uptime());
  runReady(queue);
}

bool waitForTask(platform::MainQueue& queue, double realSeconds) {
  return MainQueueAccess::waitForTask(queue, realSeconds);
}

}  // namespace pemrix::testing
