// PersonalStores: the reminders query. The incomplete reminders due in the window are
// visited one by one on the stores' queue (each converted by the adapter only when visited,
// so the limit and the lifetime also save the conversion), filtered, limited, sorted by due
// date and answered.
#include <set>

#include "protocol/clipped.h"
#include "stores/personal_stores.h"
#include "stores/query_support.h"

namespace pemrix {

namespace {

// The reminder's due date when it is an incomplete reminder of a requested list with a due
// date; nothing otherwise. The store delivers only those due in the window.
std::optional<Instant> dueOf(const platform::ReminderRecord& reminder,
                             const std::set<std::string>& requested) {
  if (!reminder.calendarIdentifier || !requested.contains(*reminder.calendarIdentifier)) {
    return std::nullopt;
  }
  if (reminder.completed || !reminder.due) return std::nullopt;
  return reminder.due;
}

// Built member by member, as event items are (see event_query.cc).
Json reminderItem(const platform::ReminderRecord& reminder, Instant due) {
  Json item(Json::value_t::object);
  Json::object_t& members = item.get_ref<Json::object_t&>();
  members.emplace("id", clipped(reminder.itemIdentifier, kItemIdentifierLimit));
  members.emplace("sourceId", *reminder.calendarIdentifier);
  members.emplace("title", clipped(reminder.title, kItemTitleLimit));
  members.emplace("due", formatDate(due));
  members.emplace("completed", false);
  members.emplace("priority", reminder.priority);
  return item;
}

}  // namespace

void PersonalStores::queryReminders(platform::CalendarStore& store, const CalendarQuery& request,
                                    const std::vector<std::string>& listIds,
                                    const Lifetime& lifetime, const StoreReply& reply) {
  const std::set<std::string> requested(request.sourceIds.begin(), request.sourceIds.end());
  const auto limit = static_cast<std::size_t>(request.limit);
  Json items = Json::array();
  bool truncated = false;
  auto visit = [&](const platform::ReminderRecord& reminder, bool& stop) {
    if (!lifetime->isActive()) {
      stop = true;
      return;
    }
    std::optional<Instant> due = dueOf(reminder, requested);
    if (!due) return;
    items.push_back(reminderItem(reminder, *due));
    if (items.size() >= limit) {
      truncated = true;
      stop = true;
    }
  };
  platform::Status status =
      store.enumerateIncompleteReminders(request.start, request.end, listIds, visit);
  if (!lifetime->isActive()) return;
  if (status.isNoResult()) {
    reply(BridgeFailure::reminderListsUnavailable());
    return;
  }
  if (!status.ok()) {
    reply(BridgeFailure::sourceUnavailable());
    return;
  }
  sortItemsByKey(items, "due");
  finishCalendarQuery(system_, NativeEntity::reminders, std::move(items), truncated, lifetime,
                      reply);
}

}  // namespace pemrix
