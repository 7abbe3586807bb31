// PersonalStores: queries over calendars. Both calendar entities share the guard and the
// resolution of the requested calendars; events are then enumerated here and reminders in
// reminder_query.cc, both synchronously on the stores' queue.
#include <set>

#include "protocol/clipped.h"
#include "protocol/result_encoding.h"
#include "stores/permissions.h"
#include "stores/personal_stores.h"
#include "stores/query_support.h"

namespace pemrix {

namespace {

EventItem eventItem(const platform::EventRecord& event) {
  std::string start = formatDate(*event.start);
  std::string id = clipped(event.itemIdentifier, kItemIdentifierLimit) + "@" + start;
  return EventItem{.id = std::move(id),
                   .sourceId = *event.calendarIdentifier,
                   .title = clipped(event.title, kItemTitleLimit),
                   .start = std::move(start),
                   .end = formatDate(*event.end),
                   .allDay = event.allDay};
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
  std::vector<std::string> listed;
  for (auto& calendar : calendars) listed.push_back(std::move(calendar.identifier));
  auto chosen = requestedSources(std::move(listed), requested);
  if (!chosen) return BridgeFailure::sourceMissing();
  *selected = std::move(*chosen);
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

  EventResult result;
  const auto limit = static_cast<std::size_t>(request.limit);
  platform::Status status = store.enumerateEvents(
      request.start, request.end, selected, [&](const platform::EventRecord& event, bool& stop) {
        if (!lifetime->isActive()) {
          stop = true;
          return;
        }
        if (!event.calendarIdentifier || !requested.contains(*event.calendarIdentifier)) return;
        if (!event.start || !event.end) return;
        result.items.push_back(eventItem(event));
        if (result.items.size() >= limit) {
          result.truncated = true;
          stop = true;
        }
      });
  if (!status.ok()) {
    reply(BridgeFailure::sourceUnavailable());
    return;
  }
  // The limit applies in delivery order; the items kept are then put in date order.
  sortItemsByKey(result.items, &EventItem::start);
  finishCalendarQuery(system_, NativeEntity::events, encodeResult(std::move(result)), lifetime,
                      reply);
}

}  // namespace pemrix
