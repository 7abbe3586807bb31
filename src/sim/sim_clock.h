// SimClock: the clock the simulated system runs on, a Clock that its simulated delays can
// also sleep on; and SystemSimClock, the system's clocks slept on in real time, which the
// simulator executable runs on. The simulated system only ever sees a SimClock, so tests
// give it one on virtual time (tests/support/) and move it by hand.
//
// Thread safety: every member may be called from any thread; implementations must allow
// that.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/clock.h"

namespace pemrix::platform {

class SimClock : public Clock {
 public:
  // Blocks until `uptime()` reaches `when` (returns true) or until `interrupt()` is called
  // with `abandon` set (returns false).
  virtual bool sleepUntil(double when, const std::atomic<bool>& abandon) const = 0;
  // Wakes every thread in `sleepUntil` so that it re-checks its `abandon` flag.
  virtual void interrupt() const = 0;
};

class SystemSimClock final : public SimClock {
 public:
  SystemSimClock() = default;

  Instant now() const override { return clock_.now(); }
  double uptime() const override { return clock_.uptime(); }
  bool sleepUntil(double when, const std::atomic<bool>& abandon) const override;
  void interrupt() const override;

 private:
  SystemClock clock_;
  mutable std::mutex mutex_;
  mutable std::condition_variable interrupted_;
};

}  // namespace pemrix::platform
