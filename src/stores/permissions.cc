// Permission states and readability.
#include "stores/permissions.h"

#include "platform/system.h"

namespace pemrix {

namespace {

platform::Authorization authorization(platform::System& system, NativeEntity entity) {
  switch (entity) {
    case NativeEntity::events:
    case NativeEntity::reminders:
      return system.calendarAuthorization(calendarEntityType(entity));
    case NativeEntity::contacts:
      return system.contactAuthorization();
  }
  return platform::Authorization::unknown;
}

}  // namespace

platform::CalendarEntityType calendarEntityType(NativeEntity entity) {
  return entity == NativeEntity::events ? platform::CalendarEntityType::events
                                        : platform::CalendarEntityType::reminders;
}

PermissionState permissionFrom(platform::Authorization authorization) {
  using platform::Authorization;
  switch (authorization) {
    case Authorization::notDetermined:
      return PermissionState::notDetermined;
    case Authorization::restricted:
      return PermissionState::restricted;
    case Authorization::denied:
      return PermissionState::denied;
    case Authorization::fullAccess:
      return PermissionState::fullAccess;
    case Authorization::writeOnly:
      return PermissionState::writeOnly;
    case Authorization::limited:
      return PermissionState::limited;
    case Authorization::unknown:
      return PermissionState::unknown;
  }
  return PermissionState::unknown;
}

PermissionState permissionState(platform::System& system, NativeEntity entity) {
  return permissionFrom(authorization(system, entity));
}

bool isReadable(platform::System& system, NativeEntity entity) {
  return platform::allowsReading(authorization(system, entity));
}

}  // namespace pemrix
