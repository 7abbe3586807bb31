// Virtual time moved by hand, and sleeping on it.
#include "support/manual_clock.h"

#include <chrono>
#include <cmath>

namespace pemrix::testing {

Instant ManualClock::now() const {
  return start_ + std::chrono::microseconds(micros_.load());
}

double ManualClock::uptime() const {
  return static_cast<double>(micros_.load()) / 1e6;
}

void ManualClock::advance(double seconds) {
  if (seconds <= 0) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    micros_ += static_cast<int64_t>(std::ceil(seconds * 1e6 - 1e-3));
  }
  moved_.notify_all();
}

bool ManualClock::sleepUntil(double when, const std::atomic<bool>& abandon) const {
  std::unique_lock<std::mutex> lock(mutex_);
  ++sleepers_;
  moved_.notify_all();
  bool reached = false;
  while (!abandon.load()) {
    if (when - uptime() <= 0) {
      reached = true;
      break;
    }
    moved_.wait(lock);
  }
  --sleepers_;
  return reached;
}

void ManualClock::interrupt() const {
  { std::lock_guard<std::mutex> lock(mutex_); }
  moved_.notify_all();
}

bool ManualClock::waitForSleepers(int count, double realSeconds) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return moved_.wait_for(lock, std::chrono::duration<double>(realSeconds),
                         [&] { return sleepers_ >= count; });
}

}  // namespace pemrix::testing
