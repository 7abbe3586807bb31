// The simulator's clock in real time: the system's clocks, and sleeping on them.
#include "sim/sim_clock.h"

namespace pemrix::platform {

bool SystemSimClock::sleepUntil(double when, const std::atomic<bool>& abandon) const {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!abandon.load()) {
    double left = when - uptime();
    if (left <= 0) return true;
    interrupted_.wait_for(lock, std::chrono::duration<double>(left));
  }
  return false;
}

void SystemSimClock::interrupt() const {
  { std::lock_guard<std::mutex> lock(mutex_); }
  interrupted_.notify_all();
}

}  // namespace pemrix::platform
