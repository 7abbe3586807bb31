// CalendarEntityType: the calendar service's two entity types, with their raw values. Kept
// apart from the store interface so that the simulator's world can name them without
// depending on the store (which depends on the system that holds the world).
#pragma once

namespace pemrix::platform {

enum class CalendarEntityType { events = 0, reminders = 1 };

}  // namespace pemrix::platform
