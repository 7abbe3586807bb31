// Permission states: the platform's authorisation of an entity as a `PermissionState`,
// and whether the entity can be read. These read only the system's
// current status, so they may be called from any thread and never create a store.
#pragma once

#include "platform/authorization.h"
#include "platform/calendar_entity_type.h"
#include "platform/system.h"
#include "protocol/native_entity.h"
#include "protocol/permission_state.h"

namespace pemrix {

// The calendar store's entity type for events or reminders (never asked for contacts).
platform::CalendarEntityType calendarEntityType(NativeEntity entity);

// The wire's name for an authorisation: the same state, one for one.
PermissionState permissionFrom(platform::Authorization authorization);

// The entity's current permission state.
PermissionState permissionState(platform::System& system, NativeEntity entity);

// Whether the entity can be read now (platform::allowsReading of its authorisation).
bool isReadable(platform::System& system, NativeEntity entity);

}  // namespace pemrix
