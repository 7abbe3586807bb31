// PersonalStores: "list-sources", the calendars, reminder lists or contact accounts the
// user can choose from, in the store's order.
#include "common/limits.h"
#include "protocol/clipped.h"
#include "protocol/item_budget.h"
#include "stores/permissions.h"
#include "stores/personal_stores.h"
#include "stores/query_support.h"

namespace pemrix {

namespace {

using limits::kSourceTitleLimit;

// Collects source objects, keeping the first `kMaxItems` and counting the rest. The kept
// sources also stay within the byte budget of query items: escaping can make a clipped
// title six times longer on the wire, and a listing too large to write would end the
// process without an answer. Sources are kept whole, up to the first that does not fit.
struct SourceList {
  void add(const std::string& identifier, const std::string& title) {
    if (!NativeRequest::validIdentifier(identifier)) return;
    ++collected;
    if (budget.full() || sources.size() >= kMaxItems) return;
    Json source{{"id", identifier}, {"title", clipped(title, kSourceTitleLimit)}};
    if (budget.take(source)) sources.push_back(std::move(source));
  }

  bool truncated() const { return budget.full() || collected > kMaxItems; }

  Json sources = Json::array();
  std::size_t collected = 0;
  ItemBudget budget{0, limits::kResultByteBudget};
};

}  // namespace

void PersonalStores::listSources(NativeEntity entity, const Lifetime& lifetime,
                                 const StoreReply& reply) {
  SourceList list;
  if (entity == NativeEntity::contacts) {
    std::vector<platform::ContainerInfo> containers;
    platform::ContactStore* store = contactStore();
    if (store == nullptr || !store->containers(&containers).ok()) {
      reply(BridgeFailure::sourceUnavailable());
      return;
    }
    for (const auto& container : containers) list.add(container.identifier, container.name);
  } else {
    std::vector<platform::CalendarInfo> calendars;
    platform::CalendarStore* store = eventStore();
    if (store == nullptr || !store->calendars(calendarEntityType(entity), &calendars).ok()) {
      reply(BridgeFailure::sourceUnavailable());
      return;
    }
    for (const auto& calendar : calendars) list.add(calendar.identifier, calendar.title);
  }
  if (!lifetime->isActive()) return;
  if (!readable(entity)) {
    reply(BridgeFailure::accessChanged());
    return;
  }
  reply(Json{{"sources", std::move(list.sources)},
             {"permission", wireName(permission(entity))},
             {"truncated", list.truncated()}});
}

}  // namespace pemrix
