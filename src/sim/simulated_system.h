// SimulatedSystem: the simulated operating system behind the calendar and
// contact stores. It serves a `World`, runs the world's delays and faults on `clock`
// (virtual in tests), delivers completions and change notifications on threads of its
// own, and tells its watcher, if it has one, what the bridge asks of it.
//
// Thread safety: every member may be called from any thread. `close` must be called (or
// the destructor run) before the clock is destroyed; it ends every thread the system
// started and drops completions that were never called.
#pragma once

#include <memory>

#include "platform/system.h"
#include "sim/sim_clock.h"
#include "sim/system_watcher.h"
#include "sim/world.h"

namespace pemrix::platform {

class SimulatedSystem final : public System {
 public:
  // `watcher`, when given, hears every call made of the system and its stores.
  SimulatedSystem(World world, SimClock& clock, SystemWatcher* watcher = nullptr);
  ~SimulatedSystem() override;

  Authorization calendarAuthorization(CalendarEntityType type) override;
  Authorization contactAuthorization() override;
  // Defined with the simulated stores (sim/calendar_store.cc, sim/contact_store.cc).
  Status openCalendarStore(std::unique_ptr<CalendarStore>* store) override;
  Status openContactStore(std::unique_ptr<ContactStore>* store) override;

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
