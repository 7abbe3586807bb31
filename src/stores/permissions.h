// Permission states: the system's raw authorisation status of an entity as a
// `PermissionState`, and whether the entity can be read. These read only the system's
// current status, so they may be called from any thread and never create a store.
#pragma once

#include "platform/calendar_entity_type.h"
#include "platform/system.h"
#include "protocol/native_entity.h"
#include "protocol/permission_state.h"

namespace pemrix {

// The calendar store's entity type for events or reminders (never asked for contacts).
platform::CalendarEntityType calendarEntityType(NativeEntity entity);

// The state of a raw authorisation status: 0 notDetermined, 1 restricted, 2 denied,
// 3 fullAccess, 4 writeOnly for calendars or limited for contacts, anything else unknown.
PermissionState permissionFromStatus(NativeEntity entity, int status);

// The entity's current permission state.
PermissionState permissionState(platform::System& system, NativeEntity entity);

// True for fullAccess, and for limited contacts.
bool isReadable(PermissionState state, NativeEntity entity);
bool isReadable(platform::System& system, NativeEntity entity);

}  // namespace pemrix
