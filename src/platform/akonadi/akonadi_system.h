// System (KDE Plasma desktops): Akonadi as the stores reach it. It owns the bridge's one
// Akonadi client (akonadi/store_client.h), which the calendar and contact stores share,
// and answers the authorisation status from the session bus without starting Akonadi.
//
// Thread safety: `calendarAccess` and `contactAccess` may be called from any thread (they
// read the bus on the Qt thread). Everything else runs on the Qt thread.
#pragma once

#include <memory>

#include "platform/authorization.h"

namespace pemrix::platform {

namespace akonadi {
class StoreClient;
}

class System {
 public:
  // Starts the Qt thread (which silences Qt first); contacts no service.
  System();
  ~System();
  System(const System&) = delete;
  System& operator=(const System&) = delete;

  // Full access when the session bus shows Akonadi, restricted otherwise; the same for
  // calendars and contacts.
  Authorization calendarAccess() const;
  Authorization contactAccess() const;

  akonadi::StoreClient& client() { return *client_; }

 private:
  std::unique_ptr<akonadi::StoreClient> client_;
};

}  // namespace pemrix::platform
