// Permission states and readability.
#include "stores/permissions.h"

#include "platform/calendar_store.h"
#include "platform/contact_store.h"

namespace pemrix {

namespace {

int authorizationStatus(platform::System& system, NativeEntity entity) {
  switch (entity) {
    case NativeEntity::events:
    case NativeEntity::reminders:
      return platform::CalendarStore::authorizationStatus(system, calendarEntityType(entity));
    case NativeEntity::contacts:
      return platform::ContactStore::authorizationStatus(system);
  }
  return -1;
}

}  // namespace

platform::CalendarEntityType calendarEntityType(NativeEntity entity) {
  return entity == NativeEntity::events ? platform::CalendarEntityType::events
                                        : platform::CalendarEntityType::reminders;
}

std::string permissionName(NativeEntity entity, int status) {
  switch (status) {
    case 0:
      return "notDetermined";
    case 1:
      return "restricted";
    case 2:
      return "denied";
    case 3:
      return "fullAccess";
    case 4:
      return entity == NativeEntity::contacts ? "limited" : "writeOnly";
    default:
      return "unknown";
  }
}

std::string permissionState(platform::System& system, NativeEntity entity) {
  return permissionName(entity, authorizationStatus(system, entity));
}

bool isReadable(platform::System& system, NativeEntity entity) {
  std::string state = permissionState(system, entity);
  return state == "fullAccess" || (state == "limited" && entity == NativeEntity::contacts);
}

}  // namespace pemrix
