// AkonadiSystem (KDE Plasma desktops): Akonadi as the stores reach it. It owns the bridge's
// one Akonadi client (akonadi/store_client.h), which the calendar and contact stores share,
// and answers the authorisation status from the session bus without starting Akonadi.
//
// Thread safety: every member may be called from any thread; the work runs on the Qt
// thread (akonadi/qt_thread.h), where every Akonadi object lives.
#pragma once

#include <memory>

#include "platform/system.h"

namespace pemrix::platform {

namespace akonadi {
class StoreClient;
}

class AkonadiSystem final : public System {
 public:
  // Starts the Qt thread (which silences Qt first); contacts no service.
  AkonadiSystem();
  ~AkonadiSystem() override;

  // Full access when the session bus shows Akonadi, restricted otherwise; the same for
  // calendars and contacts.
  Authorization calendarAuthorization(CalendarEntityType type) override;
  Authorization contactAuthorization() override;
  // Defined with the stores (akonadi/calendar_store.cc, akonadi/contact_store.cc).
  Status openCalendarStore(std::unique_ptr<CalendarStore>* store) override;
  Status openContactStore(std::unique_ptr<ContactStore>* store) override;

  akonadi::StoreClient& client() { return *client_; }

 private:
  std::unique_ptr<akonadi::StoreClient> client_;
};

}  // namespace pemrix::platform
