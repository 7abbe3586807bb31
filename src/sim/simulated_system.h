// System (simulator): the simulated operating system behind the calendar and
// contact stores. It serves a `World`, runs the world's delays and faults on `clock`
// (manual clocks make them virtual), delivers completions and change notifications on
// threads of its own, and records what the bridge asked of it, so that tests can prove
// what the bridge never asks for.
//
// Thread safety: every member may be called from any thread. `close` must be called (or
// the destructor run) before the clock is destroyed; it ends every thread the system
// started and drops completions that were never called.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/sim_clock.h"
#include "sim/world.h"

namespace pemrix::platform {

struct ContactFetchRequest;

class System {
 public:
  System(World world, SimClock& clock);
  ~System();
  System(const System&) = delete;
  System& operator=(const System&) = delete;

  // Ends the simulated threads: pending delays are abandoned and their completions and
  // notifications are never delivered. Idempotent.
  void close();

  // The current raw authorisation status of an entity, and a way to change it, as the
  // user would in the system settings.
  int authorization(WorldEntity entity) const;
  void setAuthorization(WorldEntity entity, int status);

  // Posts one store's change notification now, from a thread of the system's own.
  void postChange(WorldChange::Store store);

  // What the bridge has asked for so far.
  struct Record {
    int eventStoresCreated = 0;
    int contactStoresCreated = 0;
    int observersAdded = 0;
    int observersRemoved = 0;
    // The platform calls made, by name, in order ("requestFullAccessToEvents",
    // "requestAccess", "calendars", "enumerateEvents", "fetchIncompleteReminders",
    // "containers", "enumerateContacts", "contactsRequestAccess", ...).
    std::vector<std::string> calls;
    std::vector<ContactFetchRequest> contactFetches;
  };
  Record record() const;
  // Turns the lists of calls and fetches on or off (the counts always go on). They are off
  // from the start: the simulator serves for hours with no reader for them, and keeps its
  // memory flat; tests turn them on.
  void recordCalls(bool on);

  struct Impl;
  Impl& impl() { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace pemrix::platform
