// The system and manual clocks.
#include "platform/clock.h"

#include <cmath>

namespace pemrix::platform {

namespace {
using std::chrono::duration;
using std::chrono::duration_cast;
using std::chrono::microseconds;
}  // namespace

Clock::Clock() : manual_(false), manualStart_(), steadyStart_(std::chrono::steady_clock::now()) {}

Clock::Clock(Instant start)
    : manual_(true), manualStart_(start), steadyStart_(std::chrono::steady_clock::now()) {}

std::unique_ptr<Clock> Clock::manual(Instant start) {
  return std::unique_ptr<Clock>(new Clock(start));
}

Instant Clock::now() const {
  if (manual_) return manualStart_ + microseconds(manualMicros_.load());
  return std::chrono::time_point_cast<microseconds>(std::chrono::system_clock::now());
}

double Clock::uptime() const {
  if (manual_) return static_cast<double>(manualMicros_.load()) / 1e6;
  return duration<double>(std::chrono::steady_clock::now() - steadyStart_).count();
}

void Clock::advance(double seconds) {
  if (!manual_ || seconds <= 0) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // Rounded up, so that advancing by the distance to a moment always reaches it.
    manualMicros_ += static_cast<int64_t>(std::ceil(seconds * 1e6 - 1e-3));
  }
  moved_.notify_all();
}

bool Clock::sleepUntil(double when, const std::atomic<bool>& abandon) const {
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
    if (manual_) {
      moved_.wait(lock);
    } else {
      moved_.wait_for(lock, duration<double>(left));
    }
  }
  --sleepers_;
  return reached;
}

bool Clock::waitForSleepers(int count, double realSeconds) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return moved_.wait_for(lock, duration<double>(realSeconds), [&] { return sleepers_ >= count; });
}

void Clock::interrupt() const {
  { std::lock_guard<std::mutex> lock(mutex_); }
  moved_.notify_all();
}

}  // namespace pemrix::platform
