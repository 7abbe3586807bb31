// Steps shared by the calendar queries: the stable ordering of items by a date key and
// the finishing step that answers once the items are collected.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "common/limits.h"
#include "platform/system.h"
#include "stores/personal_stores.h"

namespace pemrix {

// Most items a query returns, and the most sources a listing returns.
using limits::kMaxItems;
// Characters kept of an item's identifier and of its title.
using limits::kItemIdentifierLimit;
using limits::kItemTitleLimit;

// Sorts `items` by their text under `key` (a date in the result form), ascending by byte
// comparison. Stable: items with equal keys keep their collection order.
template <typename Item>
void sortItemsByKey(std::vector<Item>& items, std::string Item::*key) {
  std::stable_sort(items.begin(), items.end(),
                   [key](const Item& a, const Item& b) { return a.*key < b.*key; });
}

// Ends a calendar query: silently when the lifetime is over; with "Access to this source
// changed in macOS." when the entity is no longer readable; otherwise with `result`, the
// encoded items. Runs on the stores' queue or on the thread that delivered the reminders.
void finishCalendarQuery(platform::System& system, NativeEntity entity, Json result,
                         const Lifetime& lifetime, const StoreReply& reply);

}  // namespace pemrix
