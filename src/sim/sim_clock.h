// SimClock: the clock the simulator runs on, and the sleeping its simulated delays do on
// it. Either the system's clocks (the simulator executable) or virtual time that tests
// move by hand with `advance`; `clock()` is what the bridge itself reads.
//
// Thread safety: every member may be called from any thread. Virtual time is moved by one
// thread (the test's); threads blocked in `sleepUntil` wake when it passes their moment.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/clock.h"

namespace pemrix::platform {

class SimClock {
 public:
  // The system's clocks.
  SimClock();
  // Virtual time that starts at `start` with uptime 0 and moves only through `advance`.
  static std::unique_ptr<SimClock> manual(Instant start);

  SimClock(const SimClock&) = delete;
  SimClock& operator=(const SimClock&) = delete;

  Clock& clock() { return clock_; }
  Instant now() const { return clock_.now(); }
  double uptime() const { return clock_.uptime(); }

  // Virtual time only: moves both clocks forward, rounded up to the microsecond so that
  // advancing by the distance to a moment always reaches it, and wakes sleepers now due.
  void advance(double seconds);

  // Blocks until `uptime()` reaches `when` (returns true) or until `interrupt()` is called
  // with `abandon` set (returns false).
  bool sleepUntil(double when, const std::atomic<bool>& abandon) const;
  // Wakes every thread in `sleepUntil` so that it re-checks its `abandon` flag.
  void interrupt() const;

  // Blocks (in real time, at most `realSeconds`) until at least `count` threads are in
  // `sleepUntil`; returns whether they are. Tests use it to know that simulated work has
  // reached its delay before they move virtual time.
  bool waitForSleepers(int count, double realSeconds) const;

 private:
  explicit SimClock(Instant start);

  const bool virtual_;
  std::atomic<int64_t> micros_{0};
  Clock clock_;
  mutable std::mutex mutex_;
  mutable std::condition_variable moved_;
  mutable int sleepers_ = 0;  // guarded by mutex_
};

}  // namespace pemrix::platform
