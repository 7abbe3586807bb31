// Permission states: the system's raw authorisation status of an entity, named as the
// application sees it, and whether the entity can be read. These read only the system's
// current status, so they may be called from any thread and never create a store.
#pragma once

#include <string>

#include "platform/calendar_entity_type.h"
#include "platform/system.h"
#include "protocol/native_entity.h"

namespace pemrix {

// The calendar store's entity type for events or reminders (never asked for contacts).
platform::CalendarEntityType calendarEntityType(NativeEntity entity);

// The name of a raw authorisation status: 0 "notDetermined", 1 "restricted", 2 "denied",
// 3 "fullAccess", 4 "writeOnly" for calendars or "limited" for contacts, else "unknown".
std::string permissionName(NativeEntity entity, int status);

// The entity's current permission state.
std::string permissionState(platform::System& system, NativeEntity entity);

// True when the state is "fullAccess", or "limited" for contacts.
bool isReadable(platform::System& system, NativeEntity entity);

}  // namespace pemrix
