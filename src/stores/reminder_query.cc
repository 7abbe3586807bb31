// PersonalStores: the reminders query. The incomplete reminders due in the window are
// visited one by one on the stores' queue (each converted by the adapter only when visited,
// so the limit and the lifetime also save the conversion), filtered, limited, sorted by due
// date and answered.
#include <set>

#include "protocol/clipped.h"
#include "protocol/result_encoding.h"
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

ReminderItem reminderItem(const platform::ReminderRecord& reminder, Instant due) {
  return ReminderItem{.id = clipped(reminder.itemIdentifier, kItemIdentifierLimit),
                      .sourceId = *reminder.calendarIdentifier,
                      .title = clipped(reminder.title, kItemTitleLimit),
                      .due = formatDate(due),
                      .completed = false,
                      .priority = reminder.priority};
}

}  // namespace

void PersonalStores::queryReminders(platform::CalendarStore& store, const CalendarQuery& request,
                                    const std::vector<std::string>& listIds,
                                    const Lifetime& lifetime, const StoreReply& reply) {
  const std::set<std::string> requested(request.sourceIds.begin(), request.sourceIds.end());
  const auto limit = static_cast<std::size_t>(request.limit);
  ReminderResult result;
  auto visit = [&](const platform::ReminderRecord& reminder, bool& stop) {
    if (!lifetime->isActive()) {
      stop = true;
      return;
    }
    std::optional<Instant> due = dueOf(reminder, requested);
    if (!due) return;
    result.items.push_back(reminderItem(reminder, *due));
    if (result.items.size() >= limit) {
      result.truncated = true;
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
  sortItemsByKey(result.items, &ReminderItem::due);
  finishCalendarQuery(system_, NativeEntity::reminders, encodeResult(std::move(result)), lifetime,
                      reply);
}

}  // namespace pemrix
