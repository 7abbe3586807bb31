// Clock: the wall clock and the monotonic clock the bridge reads, either the system's
// or a manual one that tests move forward by hand ("virtual time").
//
// Uses: the main queue schedules delayed tasks on `uptime()`; `RequestLifetime` compares
// `now()` with its deadline; the simulated platform sleeps through `sleepUntil`.
//
// Thread safety: every member may be called from any thread. A manual clock is advanced
// by one thread (the test's); readers on other threads see each advance atomically, and
// threads blocked in `sleepUntil` wake when the clock passes their moment.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/instant.h"

namespace pemrix::platform {

class Clock {
 public:
  // The system's clocks: `now()` follows the wall clock, `uptime()` the steady clock.
  Clock();
  // A manual clock that starts at `start` with uptime 0 and moves only through `advance`.
  static std::unique_ptr<Clock> manual(Instant start);

  Clock(const Clock&) = delete;
  Clock& operator=(const Clock&) = delete;

  bool isManual() const { return manual_; }

  // Wall-clock time.
  Instant now() const;
  // Monotonic seconds since the clock was created.
  double uptime() const;

  // Manual clocks only: moves both clocks forward and wakes sleepers that are now due.
  void advance(double seconds);

  // Blocks until `uptime()` reaches `when` (returns true) or until `interrupt()` is called
  // with `abandon` set (returns false).
  bool sleepUntil(double when, const std::atomic<bool>& abandon) const;
  // Wakes every thread in `sleepUntil` so that it re-checks its `abandon` flag.
  void interrupt() const;

  // Blocks (in real time, at most `realSeconds`) until at least `count` threads are in
  // `sleepUntil`; returns whether they are. Tests use it to know that simulated work has
  // reached its delay before they move a manual clock.
  bool waitForSleepers(int count, double realSeconds) const;

 private:
  explicit Clock(Instant start);

  const bool manual_;
  const Instant manualStart_;
  const std::chrono::steady_clock::time_point steadyStart_;
  std::atomic<int64_t> manualMicros_{0};
  mutable std::mutex mutex_;
  mutable std::condition_variable moved_;
  mutable int sleepers_ = 0;  // guarded by mutex_
};

}  // namespace pemrix::platform
