// The macOS side of authorisation, kept free of Objective-C so that it is built and tested
// on every platform: EventKit's and Contacts' raw authorisation statuses as
// `Authorization`, and which EventKit access request a macOS version takes. The Apple
// adapters call these with the values the frameworks report.
//
// All functions are pure and thread-safe.
#pragma once

#include <cstdint>

#include "platform/authorization.h"
#include "platform/calendar_entity_type.h"

namespace pemrix::platform {

// EKAuthorizationStatus: 0 not determined, 1 restricted, 2 denied, 3 full access
// ("authorized" before macOS 14), 4 write only; anything else is a newer system's value.
Authorization authorizationFromEventKit(int64_t status);

// CNAuthorizationStatus: 0 to 3 as for EventKit. 4 is limited access (contacts the user
// picked), which Apple defines for the iOS family only (iOS 18 on); macOS never reports it,
// but should it appear it reads as limited, which the stores treat as readable.
Authorization authorizationFromContacts(int64_t status);

struct OsVersion {
  long major = 0;
  long minor = 0;
  long patch = 0;
};

// The EventKit call that asks for access to one entity type: from macOS 14.0 on, full
// access per type; before, the one request that takes the type.
enum class EventKitAccessCall { fullAccessToEvents, fullAccessToReminders, accessToEntityType };

EventKitAccessCall eventKitAccessCall(OsVersion version, CalendarEntityType type);

}  // namespace pemrix::platform
