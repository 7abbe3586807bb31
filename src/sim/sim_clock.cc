// The simulator's clock: system or virtual time, and sleeping on it.
#include "sim/sim_clock.h"

#include <cmath>

namespace pemrix::platform {

using std::chrono::duration;

SimClock::SimClock() : virtual_(false), clock_() {}

SimClock::SimClock(Instant start) : virtual_(true), clock_(start, micros_) {}

std::unique_ptr<SimClock> SimClock::manual(Instant start) {
  return std::unique_ptr<SimClock>(new SimClock(start));
}

void SimClock::advance(double seconds) {
  if (!virtual_ || seconds <= 0) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    micros_ += static_cast<int64_t>(std::ceil(seconds * 1e6 - 1e-3));
  }
  moved_.notify_all();
}

bool SimClock::sleepUntil(double when, const std::atomic<bool>& abandon) const {
  std::unique_lock<std::mutex> lock(mutex_);
  ++sleepers_;
  moved_.notify_all();
  bool reached = false;
  while (!abandon.load()) {
    double left = when - uptime();
    if (left <= 0) {
      reached = true;
      break;
    }
    if (virtual_) {
      moved_.wait(lock);
    } else {
      moved_.wait_for(lock, duration<double>(left));
    }
  }
  --sleepers_;
  return reached;
}

bool SimClock::waitForSleepers(int count, double realSeconds) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return moved_.wait_for(lock, duration<double>(realSeconds), [&] { return sleepers_ >= count; });
}

void SimClock::interrupt() const {
  { std::lock_guard<std::mutex> lock(mutex_); }
  moved_.notify_all();
}

}  // namespace pemrix::platform
