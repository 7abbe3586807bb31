// AppleSystem (macOS): the operating system's personal-data services as the stores reach
// them. EventKit and Contacts are process-wide services, so there is nothing to hold: the
// authorisation comes from the frameworks, and each store is made on its own.
//
// Plain C++, included by the product entry. Thread safety: holds no state; every member is
// safe from any thread.
#pragma once

#include <memory>

#include "platform/system.h"

namespace pemrix::platform {

class AppleSystem final : public System {
 public:
  AppleSystem() = default;

  // Defined with the stores (apple/calendar_store.mm, apple/contact_store.mm).
  Authorization calendarAuthorization(CalendarEntityType type) override;
  Authorization contactAuthorization() override;
  Status openCalendarStore(std::unique_ptr<CalendarStore>* store) override;
  Status openContactStore(std::unique_ptr<ContactStore>* store) override;
};

}  // namespace pemrix::platform
