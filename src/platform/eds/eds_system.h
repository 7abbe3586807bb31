// EdsSystem: evolution-data-server (EDS) as the stores reach it. It owns the
// source registry, which the calendar and contact stores share, and answers the
// authorisation status of each EDS service from the session bus without starting any.
//
// Thread safety: the authorisation calls may be called from any thread and
// make their D-Bus calls on a short-lived thread of their own (never on the caller's, so
// the main queue makes no GLib call). Everything else runs on the GLib thread.
#pragma once

#include <memory>

#include "platform/system.h"

namespace pemrix::platform {

class EdsSystem final : public System {
 public:
  // Replaces GLib's log handlers (nothing of GLib, GIO or EDS reaches standard error);
  // starts nothing and contacts no service.
  EdsSystem();
  ~EdsSystem() override;

  // Access to the calendar service (events and tasks; one answer for both) and to the
  // address-book service: full when reachable, restricted without a session bus or EDS,
  // denied when a sandbox hides it from this process.
  Authorization calendarAuthorization(CalendarEntityType type) override;
  Authorization contactAuthorization() override;
  // Defined with the stores (eds/calendar_store.cc, eds/contact_store.cc).
  Status openCalendarStore(std::unique_ptr<CalendarStore>* store) override;
  Status openContactStore(std::unique_ptr<ContactStore>* store) override;

  struct Impl;
  Impl& impl() { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace pemrix::platform
