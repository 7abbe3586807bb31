// PersonalStores: queries over calendars. Both calendar entities share the guard and the
// resolution of the requested calendars; events are then enumerated here and reminders in
// reminder_query.cc, both synchronously on the stores' queue.
#include <set>

#include "protocol/clipped.h"
#include "stores/permissions.h"
#include "stores/personal_stores.h"
#include "stores/query_support.h"

namespace pemrix {

namespace {

// Built member by member: an initializer list would first build a two-element array for
// every member, which costs several times as many allocations for each of up to 100 items.
Json eventItem(const platform::EventRecord& event) {
  std::string start = formatDate(*event.start);
  Json item(Json::value_t::object);
  Json::object_t& members = item.get_ref<Json::object_t&>();
  members.emplace("id", clipped(event.itemIdentifier, kItemIdentifierLimit) + "@" + start);
  members.emplace("sourceId", *event.calendarIdentifier);
  members.emplace("title", clipped(event.title, kItemTitleLimit));
  members.emplace("end", formatDate(*event.end));
  members.emplace("allDay", event.allDay);
  members.emplace("start", std::move(start));
  return item;
}

// Puts the identifiers of the calendars of `type` that `requested` names in `selected`, in
// the store's order. A failure when the store cannot list them or one of them no longer
// exists.
std::optional<BridgeFailure> selectCalendars(platform::CalendarStore& store,
                                             platform::CalendarEntityType type,
                                             const std::set<std::string>& requested,
                                             std::vector<std::string>* selected) {
  std::vector<platform::CalendarInfo> calendars;
  if (!store.calendars(type, &calendars).ok()) return BridgeFailure::sourceUnavailable();
  std::set<std::string> found;
  for (auto& calendar : calendars) {
    if (!requested.contains(calendar.identifier)) continue;
    found.insert(calendar.identifier);
    selected->push_back(std::move(calendar.identifier));
  }
  if (found != requested) return BridgeFailure::sourceMissing();
  return std::nullopt;
}

}  // namespace

void PersonalStores::queryCalendar(const CalendarQuery& request, NativeEntity entity,
                                   const Lifetime& lifetime, const StoreReply& reply) {
  platform::CalendarStore* opened = eventStore();
  if (opened == nullptr) {
    reply(BridgeFailure::sourceUnavailable());
    return;
  }
  platform::CalendarStore& store = *opened;
  const std::set<std::string> requested(request.sourceIds.begin(), request.sourceIds.end());
  std::vector<std::string> selected;
  if (auto failure = selectCalendars(store, calendarEntityType(entity), requested, &selected)) {
    reply(*failure);
    return;
  }
  if (entity == NativeEntity::reminders) {
    queryReminders(store, request, selected, lifetime, reply);
    return;
  }

  Json items = Json::array();
  bool truncated = false;
  const auto limit = static_cast<std::size_t>(request.limit);
  platform::Status status = store.enumerateEvents(
      request.start, request.end, selected, [&](const platform::EventRecord& event, bool& stop) {
        if (!lifetime->isActive()) {
          stop = true;
          return;
        }
        if (!event.calendarIdentifier || !requested.contains(*event.calendarIdentifier)) return;
        if (!event.start || !event.end) return;
        items.push_back(eventItem(event));
        if (items.size() >= limit) {
          truncated = true;
          stop = true;
        }
      });
  if (!status.ok()) {
    reply(BridgeFailure::sourceUnavailable());
    return;
  }
  // The limit applies in delivery order; the items kept are then put in date order.
  sortItemsByKey(items, "start");
  finishCalendarQuery(system_, NativeEntity::events, std::move(items), truncated, lifetime, reply);
}

}  // namespace pemrix
