// PersonalStores: the reminders query. The fetch returns at once; the reminders arrive
// later on a thread of the calendar service, where they are visited one by one (each
// converted only when visited, so the limit and the lifetime also save the conversion),
// filtered, limited, sorted by due date and answered. Nothing of PersonalStores is
// touched on that thread.
#include <set>

#include "protocol/clipped.h"
#include "protocol/result_encoding.h"
#include "stores/personal_stores.h"
#include "stores/query_support.h"

namespace pemrix {

namespace {

// Everything the fetch completion needs, owned by it.
struct ReminderFilter {
  platform::System& system;
  std::set<std::string> requested;
  Instant start;
  Instant end;
  std::size_t limit;

  // The reminder's due date when it is an incomplete reminder of a requested list due in
  // [start, end); nothing otherwise.
  std::optional<Instant> dueInWindow(const platform::ReminderRecord& reminder) const {
    if (!reminder.calendarIdentifier || !requested.contains(*reminder.calendarIdentifier)) {
      return std::nullopt;
    }
    if (reminder.completed || !reminder.due) return std::nullopt;
    if (*reminder.due < start || *reminder.due >= end) return std::nullopt;
    return reminder.due;
  }
};

ReminderItem reminderItem(const platform::ReminderRecord& reminder, Instant due) {
  return ReminderItem{.id = clipped(reminder.itemIdentifier, kItemIdentifierLimit),
                      .sourceId = *reminder.calendarIdentifier,
                      .title = clipped(reminder.title, kItemTitleLimit),
                      .due = formatDate(due),
                      .completed = false,
                      .priority = reminder.priority};
}

void answerReminders(const ReminderFilter& filter, platform::PlatformStatus fetched,
                     const platform::ReminderWalk& reminders, const Lifetime& lifetime,
                     const StoreReply& reply) {
  if (!lifetime->isActive()) return;
  if (fetched) {
    reply(BridgeFailure::reminderListsUnavailable());
    return;
  }
  ReminderResult result;
  bool abandoned = false;
  platform::PlatformStatus walked =
      reminders([&](const platform::ReminderRecord& reminder, bool& stop) {
        if (!lifetime->isActive()) {
          abandoned = true;
          stop = true;
          return;
        }
        std::optional<Instant> due = filter.dueInWindow(reminder);
        if (!due) return;
        result.items.push_back(reminderItem(reminder, *due));
        if (result.items.size() >= filter.limit) {
          result.truncated = true;
          stop = true;
        }
      });
  if (abandoned) return;
  if (walked) {
    reply(BridgeFailure::sourceUnavailable());
    return;
  }
  sortItemsByKey(result.items, &ReminderItem::due);
  finishCalendarQuery(filter.system, NativeEntity::reminders, encodeResult(std::move(result)),
                      lifetime, reply);
}

}  // namespace

void PersonalStores::queryReminders(const CalendarQuery& request,
                                    const std::vector<platform::CalendarInfo>& lists,
                                    const Lifetime& lifetime, const StoreReply& reply) {
  ReminderFilter filter{system_,
                        std::set<std::string>(request.sourceIds.begin(), request.sourceIds.end()),
                        request.start, request.end, static_cast<std::size_t>(request.limit)};
  eventStore().fetchIncompleteReminders(
      request.start, request.end, lists,
      [filter = std::move(filter), lifetime, reply](platform::PlatformStatus fetched,
                                                    const platform::ReminderWalk& reminders) {
        // This runs on the service's thread, outside the work item: its exceptions are
        // answered here, as the work item would.
        try {
          answerReminders(filter, std::move(fetched), reminders, lifetime, reply);
        } catch (...) {
          reply(BridgeFailure::sourceUnavailable());
        }
      });
}

}  // namespace pemrix
