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

PermissionState permissionFromStatus(NativeEntity entity, int status) {
  switch (status) {
    case 0:
      return PermissionState::notDetermined;
    case 1:
      return PermissionState::restricted;
    case 2:
      return PermissionState::denied;
    case 3:
      return PermissionState::fullAccess;
    case 4:
      return entity == NativeEntity::contacts ? PermissionState::limited
                                              : PermissionState::writeOnly;
    default:
      return PermissionState::unknown;
  }
}

PermissionState permissionState(platform::System& system, NativeEntity entity) {
  return permissionFromStatus(entity, authorizationStatus(system, entity));
}

bool isReadable(PermissionState state, NativeEntity entity) {
  return state == PermissionState::fullAccess ||
         (state == PermissionState::limited && entity == NativeEntity::contacts);
}

bool isReadable(platform::System& system, NativeEntity entity) {
  return isReadable(permissionState(system, entity), entity);
}

}  // namespace pemrix
