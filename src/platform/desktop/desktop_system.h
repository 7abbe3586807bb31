// DesktopSystem: the personal-data services of a Linux desktop as one System: the backends
// found at start (evolution-data-server, Akonadi), each a System of its own, served side by
// side. Its stores list the sources of every backend and route each read to the backend
// that owns the source, so that the stores above see one service.
//
// Identifiers: each backend's sources keep their own identifiers behind the backend's
// prefix ("" for the first, so that its identifiers are the service's own), which keeps
// them distinct however many backends serve. Items and contacts keep theirs.
//
// Thread safety: as for every System (platform/system.h). The authorisation calls ask each
// backend in turn.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/system.h"

namespace pemrix::platform {

struct DesktopBackend {
  std::string idPrefix;  // what this backend's source identifiers begin with; "" for one
  std::unique_ptr<System> system;
};

class DesktopSystem final : public System {
 public:
  // `backends` in the order their sources are listed; at most one has the empty prefix.
  explicit DesktopSystem(std::vector<DesktopBackend> backends);
  ~DesktopSystem() override;

  // Access as the most open backend gives it: the first that can be read, otherwise the
  // first backend's answer (restricted when there is none).
  Authorization calendarAuthorization(CalendarEntityType type) override;
  Authorization contactAuthorization() override;
  // Opens a store of every backend; fails as the first backend that fails.
  Status openCalendarStore(std::unique_ptr<CalendarStore>* store) override;
  Status openContactStore(std::unique_ptr<ContactStore>* store) override;

 private:
  // Opens one store of every backend with `open`, in `*stores`.
  template <typename Store>
  Status openEach(Status (System::*open)(std::unique_ptr<Store>*),
                  std::vector<std::unique_ptr<Store>>* stores);

  std::vector<DesktopBackend> backends_;
};

}  // namespace pemrix::platform
