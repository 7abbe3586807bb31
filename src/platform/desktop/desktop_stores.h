// The desktop stores: a calendar store and a contact store over one store of each backend,
// routed by source identifier (source_routing.h).
#pragma once

#include <memory>
#include <vector>

#include "platform/calendar_store.h"
#include "platform/contact_store.h"
#include "platform/desktop/source_routing.h"

namespace pemrix::platform::desktop {

// `stores` holds one store per backend of `routing`, in the same order.
std::unique_ptr<CalendarStore> calendarStoreOver(
    SourceRouting routing, std::vector<std::unique_ptr<CalendarStore>> stores);
std::unique_ptr<ContactStore> contactStoreOver(SourceRouting routing,
                                               std::vector<std::unique_ptr<ContactStore>> stores);

}  // namespace pemrix::platform::desktop
