// The Akonadi System: the shared client, made and destroyed on the Qt thread, and
// authorisation from the session bus, read on a thread of its own so that it never waits
// for a store's job on the Qt thread.
#include "platform/akonadi/akonadi_system.h"

#include "platform/akonadi/qt_thread.h"
#include "platform/akonadi/store_client.h"
#include "platform/desktop/backend_choice.h"
#include "platform/desktop/quiet_glib.h"
#include "platform/desktop/session_bus_names.h"

namespace pemrix::platform {

AkonadiSystem::AkonadiSystem() {
  // The bus is read through GIO, whose messages must not reach standard error either.
  desktop::silenceGlibOutput();
  akonadi::QtThread::instance().run([this] { client_ = std::make_unique<akonadi::StoreClient>(); });
}

AkonadiSystem::~AkonadiSystem() {
  akonadi::QtThread::instance().run([this] { client_.reset(); });
}

// A KDE desktop asks no consent: Akonadi can be read when the session bus shows its control
// service, running or activatable; restricted without a bus or without Akonadi on it.
Authorization AkonadiSystem::calendarAuthorization(CalendarEntityType /*type*/) {
  const std::optional<desktop::BusNames> names = desktop::readSessionBusNames();
  if (!names) return Authorization::restricted;
  const bool shown = names->owned.contains(desktop::kAkonadiControlName) ||
                     names->activatable.contains(desktop::kAkonadiControlName);
  return shown ? Authorization::fullAccess : Authorization::restricted;
}

Authorization AkonadiSystem::contactAuthorization() {
  return calendarAuthorization(CalendarEntityType::events);
}

}  // namespace pemrix::platform
