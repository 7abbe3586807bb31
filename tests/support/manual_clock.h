// ManualClock: virtual time for the simulated system and the bridge, moved only by hand.
// It starts at a chosen wall-clock moment with uptime 0; `advance` moves both clocks and
// wakes the simulated work whose delay has then passed, so that a 30-second idle exit or
// a 15-second deadline takes microseconds.
//
// Thread safety: every member may be called from any thread. Time is moved by one thread
// (the test's); threads blocked in `sleepUntil` wake when it passes their moment.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "sim/sim_clock.h"

namespace pemrix::testing {

class ManualClock final : public platform::SimClock {
 public:
  explicit ManualClock(Instant start) : start_(start) {}

  Instant now() const override;
  double uptime() const override;

  // Moves both clocks forward, rounded up to the microsecond so that advancing by the
  // distance to a moment always reaches it, and wakes sleepers now due.
  void advance(double seconds);

  bool sleepUntil(double when, const std::atomic<bool>& abandon) const override;
  void interrupt() const override;

  // Blocks (in real time, at most `realSeconds`) until at least `count` threads are in
  // `sleepUntil`; returns whether they are. Tests use it to know that simulated work has
  // reached its delay before they move time.
  bool waitForSleepers(int count, double realSeconds) const;

 private:
  const Instant start_;
  std::atomic<int64_t> micros_{0};
  mutable std::mutex mutex_;
  mutable std::condition_variable moved_;
  mutable int sleepers_ = 0;  // guarded by mutex_
};

}  // namespace pemrix::testing
