// The macOS authorisation statuses and the choice of EventKit access request.
#include "platform/apple/apple_authorization.h"

namespace pemrix::platform {

namespace {

// The values both frameworks share; `four` is what 4 means to the framework.
Authorization fromRaw(int64_t status, Authorization four) {
  switch (status) {
    case 0:
      return Authorization::notDetermined;
    case 1:
      return Authorization::restricted;
    case 2:
      return Authorization::denied;
    case 3:
      return Authorization::fullAccess;
    case 4:
      return four;
    default:
      return Authorization::unknown;
  }
}

}  // namespace

Authorization authorizationFromEventKit(int64_t status) {
  return fromRaw(status, Authorization::writeOnly);
}

Authorization authorizationFromContacts(int64_t status) {
  return fromRaw(status, Authorization::limited);
}

EventKitAccessCall eventKitAccessCall(OsVersion version, CalendarEntityType type) {
  if (version.major < 14) return EventKitAccessCall::accessToEntityType;
  return type == CalendarEntityType::events ? EventKitAccessCall::fullAccessToEvents
                                            : EventKitAccessCall::fullAccessToReminders;
}

}  // namespace pemrix::platform
