// Ordering and finishing of calendar queries.
#include "stores/query_support.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "stores/permissions.h"

namespace pemrix {

void sortItemsByKey(Json& items, const std::string& key) {
  auto sortKey = [&key](const Json& item) -> std::string_view {
    auto found = item.find(key);
    if (found == item.end() || !found->is_string()) return {};
    return found->get_ref<const std::string&>();
  };
  std::vector<Json>& list = items.get_ref<Json::array_t&>();
  std::stable_sort(list.begin(), list.end(),
                   [&](const Json& a, const Json& b) { return sortKey(a) < sortKey(b); });
}

void finishCalendarQuery(platform::System& system, NativeEntity entity, Json items, bool truncated,
                         const Lifetime& lifetime, const StoreReply& reply) {
  if (!lifetime->isActive()) return;
  if (!isReadable(system, entity)) {
    reply(BridgeFailure::accessChanged());
    return;
  }
  reply(Json{{"items", std::move(items)}, {"truncated", truncated}});
}

}  // namespace pemrix
