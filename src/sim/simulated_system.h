// System (simulator): the simulated operating system behind the calendar and
// contact stores. It serves a `World`, runs the world's delays and faults on `clock`
// (virtual in tests), delivers completions and change notifications on threads of its
// own, and tells its watcher, if it has one, what the bridge asks of it.
//
// Thread safety: every member may be called from any thread. `close` must be called (or
// the destructor run) before the clock is destroyed; it ends every thread the system
// started and drops completions that were never called.
#pragma once

#include <memory>

#include "sim/sim_clock.h"
#include "sim/system_watcher.h"
#include "sim/world.h"

namespace pemrix::platform {

class System {
 public:
  // `watcher`, when given, hears every call made of the system and its stores.
  System(World world, SimClock& clock, SystemWatcher* watcher = nullptr);
  ~System();
  System(const System&) = delete;
  System& operator=(const System&) = delete;

  // Ends the simulated threads: pending delays are abandoned and their completions and
  // notifications are never delivered. Idempotent.
  void close();

  // The current authorisation of an entity.
  Authorization authorization(WorldEntity entity) const;

  struct Impl;
  Impl& impl() { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace pemrix::platform
