// The system clocks and virtual time.
#include "platform/clock.h"

namespace pemrix::platform {

using std::chrono::microseconds;

Clock::Clock() : virtualStart_(), steadyStart_(std::chrono::steady_clock::now()) {}

Clock::Clock(Instant start, const std::atomic<int64_t>& micros)
    : virtualStart_(start), virtualMicros_(&micros), steadyStart_() {}

Instant Clock::now() const {
  if (virtualMicros_ != nullptr) return virtualStart_ + microseconds(virtualMicros_->load());
  return std::chrono::time_point_cast<microseconds>(std::chrono::system_clock::now());
}

double Clock::uptime() const {
  if (virtualMicros_ != nullptr) return static_cast<double>(virtualMicros_->load()) / 1e6;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - steadyStart_).count();
}

}  // namespace pemrix::platform
