// The Akonadi System: the shared client, made and destroyed on the Qt thread, and
// authorisation from the session bus.
#include "platform/akonadi/akonadi_system.h"

#include <mutex>

#include "platform/akonadi/bus_access.h"
#include "platform/akonadi/qt_thread.h"
#include "platform/akonadi/store_client.h"

namespace pemrix::platform {

AkonadiSystem::AkonadiSystem() {
  akonadi::QtThread::instance().run([this] { client_ = std::make_unique<akonadi::StoreClient>(); });
}

AkonadiSystem::~AkonadiSystem() {
  akonadi::QtThread::instance().run([this] { client_.reset(); });
}

Authorization AkonadiSystem::calendarAuthorization(CalendarEntityType /*type*/) {
  Authorization access = Authorization::restricted;
  static std::once_flag registered;
  akonadi::QtThread::instance().run([&] { access = akonadi::busAccess(); });
  std::call_once(registered, [] { akonadi::QtThread::instance().endBeforeExitHandlers(); });
  return access;
}

Authorization AkonadiSystem::contactAuthorization() {
  return calendarAuthorization(CalendarEntityType::events);
}

}  // namespace pemrix::platform
