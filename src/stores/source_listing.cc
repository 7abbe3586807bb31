// PersonalStores: "list-sources", the calendars, reminder lists or contact accounts the
// user can choose from, in the store's order.
#include "common/limits.h"
#include "protocol/clipped.h"
#include "protocol/result_encoding.h"
#include "stores/permissions.h"
#include "stores/personal_stores.h"
#include "stores/query_support.h"

namespace pemrix {

namespace {

using limits::kSourceTitleLimit;

// Collects the sources a listing may send back, keeping the first `kMaxItems` and counting
// the rest.
struct SourceList {
  void add(const std::string& identifier, const std::string& title) {
    if (!NativeRequest::validIdentifier(identifier)) return;
    if (listing.sources.size() >= kMaxItems) {
      listing.truncated = true;
      return;
    }
    listing.sources.push_back(
        SourceItem{.id = identifier, .title = clipped(title, kSourceTitleLimit)});
  }

  SourceListing listing;
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
  list.listing.permission = permission(entity);
  reply(encodeResult(std::move(list.listing)));
}

}  // namespace pemrix
