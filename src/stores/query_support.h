// Steps shared by the queries: choosing the requested sources among those the store lists,
// the stable ordering of items by a date key, and the finishing step of the calendar
// queries that answers once the items are collected.
#pragma once

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <utility>
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

// The identifier of a listed source: the source's own `identifier`, or the text itself when
// the store lists identifiers only.
inline const std::string& sourceIdentifier(const std::string& identifier) {
  return identifier;
}
template <typename Source>
const std::string& sourceIdentifier(const Source& source) {
  return source.identifier;
}

// The sources of `listed` whose identifiers `requested` names, in the store's order (a
// source listed twice is kept twice). Nothing when an identifier of `requested` is not
// listed: the caller answers with its own failure.
template <typename Source>
std::optional<std::vector<Source>> requestedSources(std::vector<Source> listed,
                                                    const std::set<std::string>& requested) {
  std::vector<Source> chosen;
  std::set<std::string> found;
  for (Source& source : listed) {
    if (!requested.contains(sourceIdentifier(source))) continue;
    found.insert(sourceIdentifier(source));
    chosen.push_back(std::move(source));
  }
  if (found.size() != requested.size()) return std::nullopt;
  return chosen;
}

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
