// System: the operating system's personal-data services as one object: how far the user
// lets this process read each kind of data, and the stores that read it. The bridge is
// given one System and reaches every service through it. Implementations:
//   - AppleSystem (apple/apple_system.h): EventKit and Contacts, process-wide services;
//   - EdsSystem (eds/eds_system.h): evolution-data-server, holding its source registry;
//   - DesktopSystem (desktop/desktop_system.h): on Linux desktops, the backends loaded at
//     start (evolution-data-server, Akonadi) served as one;
//   - SimulatedSystem (sim/simulated_system.h): the simulator's world, authorisation states
//     and call record.
//
// Thread safety: the authorisation calls may be made from any thread; the stores are made
// and used on the stores' serial queue.
#pragma once

#include <memory>

#include "platform/authorization.h"
#include "platform/calendar_entity_type.h"
#include "platform/status.h"

namespace pemrix::platform {

class CalendarStore;
class ContactStore;

class System {
 public:
  virtual ~System() = default;
  System(const System&) = delete;
  System& operator=(const System&) = delete;

  // How far the user lets this process read `type`, or contacts, as it stands now; makes
  // no store.
  virtual Authorization calendarAuthorization(CalendarEntityType type) = 0;
  virtual Authorization contactAuthorization() = 0;

  // Makes a store and puts it in `*store`; leaves `*store` alone when that fails. A store
  // serves no data of a kind until access to it is granted.
  virtual Status openCalendarStore(std::unique_ptr<CalendarStore>* store) = 0;
  virtual Status openContactStore(std::unique_ptr<ContactStore>* store) = 0;

 protected:
  System() = default;
};

}  // namespace pemrix::platform
