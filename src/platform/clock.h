// Clock: the wall clock and the monotonic clock the bridge reads, as an interface, and
// SystemClock, the system's own. The bridge is handed a Clock and never makes one, so
// whoever runs it chooses the time it lives on: the product the system's, tests virtual
// time that they move by hand (a 30-second idle exit then takes microseconds).
//
// Uses: the main queue schedules delayed tasks on `uptime()`; `RequestLifetime` compares
// `now()` with its deadline.
//
// Thread safety: every member may be called from any thread; implementations must allow
// that.
#pragma once

#include <chrono>

#include "common/instant.h"

namespace pemrix::platform {

class Clock {
 public:
  virtual ~Clock() = default;

  // Wall-clock time.
  virtual Instant now() const = 0;
  // Monotonic seconds since the clock was created.
  virtual double uptime() const = 0;

 protected:
  Clock() = default;
  Clock(const Clock&) = delete;
  Clock& operator=(const Clock&) = delete;
};

// The system's clocks: `now()` follows the wall clock, `uptime()` the steady clock.
class SystemClock final : public Clock {
 public:
  SystemClock();

  Instant now() const override;
  double uptime() const override;

 private:
  const std::chrono::steady_clock::time_point steadyStart_;
};

}  // namespace pemrix::platform
