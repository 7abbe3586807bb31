// Steps shared by the calendar queries: the stable ordering of items by a date key and
// the finishing step that answers once the items are collected.
#pragma once

#include <string>

#include "common/limits.h"
#include "platform/system.h"
#include "stores/personal_stores.h"

namespace pemrix {

// Most items a query returns, and the most sources a listing returns.
using limits::kMaxItems;
// Characters kept of an item's identifier and of its title.
using limits::kItemIdentifierLimit;
using limits::kItemTitleLimit;

// Sorts `items` (a JSON array of objects) by the string under `key`, ascending by byte
// comparison; an item without a string there counts as the empty string. Stable: items
// with equal keys keep their collection order.
void sortItemsByKey(Json& items, const std::string& key);

// Ends a calendar query: silently when the lifetime is over; with "Access to this source
// changed in macOS." when the entity is no longer readable; otherwise with the items.
// Runs on the stores' queue or on the thread that delivered the reminders.
void finishCalendarQuery(platform::System& system, NativeEntity entity, Json items, bool truncated,
                         const Lifetime& lifetime, const StoreReply& reply);

}  // namespace pemrix
