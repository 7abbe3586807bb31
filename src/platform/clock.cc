// The system's clocks.
#include "platform/clock.h"

namespace pemrix::platform {

SystemClock::SystemClock() : steadyStart_(std::chrono::steady_clock::now()) {}

Instant SystemClock::now() const {
  return std::chrono::time_point_cast<std::chrono::microseconds>(std::chrono::system_clock::now());
}

double SystemClock::uptime() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - steadyStart_).count();
}

}  // namespace pemrix::platform
