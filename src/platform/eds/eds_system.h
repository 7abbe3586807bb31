// System (Linux desktops): evolution-data-server (EDS) as the stores reach it. It owns the
// source registry, which the calendar and contact stores share, and answers the
// authorisation status of each EDS service from the session bus without starting any.
//
// Thread safety: `calendarAccess` and `contactAccess` may be called from any thread and
// make their D-Bus calls on a short-lived thread of their own (never on the caller's, so
// the main queue makes no GLib call). Everything else runs on the GLib thread.
#pragma once

#include <memory>

#include "platform/authorization.h"

namespace pemrix::platform {

class System {
 public:
  // Replaces GLib's log handlers (nothing of GLib, GIO or EDS reaches standard error);
  // starts nothing and contacts no service.
  System();
  ~System();
  System(const System&) = delete;
  System& operator=(const System&) = delete;

  // Access to the calendar service (events and tasks) and to the address-book service:
  // full when reachable, restricted without a session bus or EDS, denied when a sandbox
  // hides it from this process.
  Authorization calendarAccess() const;
  Authorization contactAccess() const;

  struct Impl;
  Impl& impl() { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace pemrix::platform
