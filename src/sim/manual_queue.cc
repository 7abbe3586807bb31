// The main queue driven by hand on virtual time.
#include "sim/manual_queue.h"

#include "platform/threads/main_queue_impl.h"

namespace pemrix::platform {

std::size_t runReady(MainQueue& queue) {
  MainQueue::Impl& impl = queue.impl();
  std::size_t ran = 0;
  for (;;) {
    Task task;
    {
      std::lock_guard<std::mutex> lock(impl.mutex);
      task = impl.takeReady();
    }
    if (!task) return ran;
    task();
    ++ran;
  }
}

void advance(MainQueue& queue, SimClock& clock, double seconds) {
  MainQueue::Impl& impl = queue.impl();
  const double target = clock.uptime() + seconds;
  runReady(queue);
  for (;;) {
    double due;
    {
      std::lock_guard<std::mutex> lock(impl.mutex);
      due = impl.nextDue();
    }
    if (due < 0 || due > target) break;
    clock.advance(due - clock.uptime());
    runReady(queue);
  }
  clock.advance(target - clock.uptime());
  runReady(queue);
}

bool waitForTask(MainQueue& queue, double realSeconds) {
  MainQueue::Impl& impl = queue.impl();
  std::unique_lock<std::mutex> lock(impl.mutex);
  return impl.wake.wait_for(lock, std::chrono::duration<double>(realSeconds),
                            [&] { return !impl.tasks.empty(); });
}

}  // namespace pemrix::platform
