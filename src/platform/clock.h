// Clock: the wall clock and the monotonic clock the bridge reads: the system's, or virtual
// time that its owner moves (tests move it by hand, so a 30-second idle exit takes
// microseconds).
//
// Uses: the main queue schedules delayed tasks on `uptime()`; `RequestLifetime` compares
// `now()` with its deadline.
//
// Thread safety: every member may be called from any thread. Virtual time is read from a
// counter that one thread moves; readers on other threads see each move atomically.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "common/instant.h"

namespace pemrix::platform {

class Clock {
 public:
  // The system's clocks: `now()` follows the wall clock, `uptime()` the steady clock.
  Clock();
  // Virtual time: `now()` is `start` plus `micros` microseconds and `uptime()` is `micros`
  // in seconds. `micros` must outlive the clock.
  Clock(Instant start, const std::atomic<int64_t>& micros);

  Clock(const Clock&) = delete;
  Clock& operator=(const Clock&) = delete;

  // Wall-clock time.
  Instant now() const;
  // Monotonic seconds since the clock was created.
  double uptime() const;

 private:
  const Instant virtualStart_;
  const std::atomic<int64_t>* const virtualMicros_ = nullptr;
  const std::chrono::steady_clock::time_point steadyStart_;
};

}  // namespace pemrix::platform
