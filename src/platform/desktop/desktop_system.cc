// The desktop System: authorisation from the most open backend, and stores over every
// backend (desktop_calendar_store.cc, desktop_contact_store.cc).
#include "platform/desktop/desktop_system.h"

#include <utility>

#include "platform/desktop/desktop_stores.h"

namespace pemrix::platform {

namespace {

template <typename Ask>
Authorization mostOpen(const std::vector<DesktopBackend>& backends, Ask ask) {
  if (backends.empty()) return Authorization::restricted;
  const Authorization first = ask(*backends.front().system);
  if (allowsReading(first)) return first;
  for (std::size_t i = 1; i < backends.size(); ++i) {
    const Authorization other = ask(*backends[i].system);
    if (allowsReading(other)) return other;
  }
  return first;
}

std::vector<std::string> prefixesOf(const std::vector<DesktopBackend>& backends) {
  std::vector<std::string> prefixes;
  for (const DesktopBackend& backend : backends) prefixes.push_back(backend.idPrefix);
  return prefixes;
}

}  // namespace

DesktopSystem::DesktopSystem(std::vector<DesktopBackend> backends)
    : backends_(std::move(backends)) {}

DesktopSystem::~DesktopSystem() = default;

Authorization DesktopSystem::calendarAuthorization(CalendarEntityType type) {
  return mostOpen(backends_, [type](System& s) { return s.calendarAuthorization(type); });
}

Authorization DesktopSystem::contactAuthorization() {
  return mostOpen(backends_, [](System& s) { return s.contactAuthorization(); });
}

Status DesktopSystem::openCalendarStore(std::unique_ptr<CalendarStore>* store) {
  std::vector<std::unique_ptr<CalendarStore>> stores;
  if (Status failed = openEach(&System::openCalendarStore, &stores); !failed.ok()) return failed;
  *store =
      desktop::calendarStoreOver(desktop::SourceRouting(prefixesOf(backends_)), std::move(stores));
  return Status();
}

Status DesktopSystem::openContactStore(std::unique_ptr<ContactStore>* store) {
  std::vector<std::unique_ptr<ContactStore>> stores;
  if (Status failed = openEach(&System::openContactStore, &stores); !failed.ok()) return failed;
  *store =
      desktop::contactStoreOver(desktop::SourceRouting(prefixesOf(backends_)), std::move(stores));
  return Status();
}

template <typename Store>
Status DesktopSystem::openEach(Status (System::*open)(std::unique_ptr<Store>*),
                               std::vector<std::unique_ptr<Store>>* stores) {
  stores->resize(backends_.size());
  for (std::size_t i = 0; i < backends_.size(); ++i) {
    if (Status failed = (backends_[i].system.get()->*open)(&(*stores)[i]); !failed.ok()) {
      return failed;
    }
  }
  return Status();
}

}  // namespace pemrix::platform
