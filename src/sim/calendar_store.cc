// The simulated calendar store: serves the world's calendars, events and reminders, with
// the world's delays and faults, and only while the entity's access is full.
#include "platform/calendar_store.h"

#include <set>

#include "sim/due_date.h"
#include "sim/simulated_system_impl.h"

namespace pemrix::platform {

namespace {

std::set<std::string> identifiersOf(const std::vector<CalendarInfo>& calendars) {
  std::set<std::string> ids;
  for (const CalendarInfo& calendar : calendars) ids.insert(calendar.identifier);
  return ids;
}

bool inSelection(const std::optional<std::string>& calendar, const std::set<std::string>& ids) {
  return calendar && ids.count(*calendar) > 0;
}

// Whether the store's own predicate selects the event: a selected calendar and an overlap
// with [start, end).
bool eventMatches(const WorldEvent& event, Instant start, Instant end,
                  const std::set<std::string>& ids) {
  if (event.stray) return true;
  if (!inSelection(event.calendar, ids) || !event.start || !event.end) return false;
  return *event.start<end&& * event.end> start;
}

EventRecord eventRecord(const WorldEvent& event) {
  return EventRecord{event.calendar, event.start, event.end, event.id, event.title, event.allDay};
}

DateComponents components(const WorldDue& due) {
  DateComponents components{due.year,   due.month,  due.day,      due.hour,
                            due.minute, due.second, due.timeZone, nullptr};
  components.calendar = due.calendar;
  return components;
}

ReminderRecord reminderRecord(const WorldReminder& reminder) {
  std::optional<DateComponents> due;
  if (reminder.due) due = components(*reminder.due);
  return ReminderRecord{reminder.list,      reminder.id, reminder.title,
                        reminder.completed, due,         reminder.priority};
}

// Whether the store's own predicate selects the reminder: a selected list, not completed,
// and due in [start, end).
bool reminderMatches(const WorldReminder& reminder, const ReminderRecord& record,
                     const std::string& zone, Instant start, Instant end,
                     const std::set<std::string>& ids) {
  if (reminder.stray) return true;
  if (!inSelection(reminder.list, ids) || reminder.completed || !record.due) return false;
  std::optional<Instant> due = resolveDueDate(*record.due, zone);
  return due && *due >= start && *due < end;
}

// Visits the reminders that the reminders predicate selects, in world order, building each
// record only when its turn comes; nothing while reminders are not readable.
void walkMatchingReminders(const System::Impl& system, Instant start, Instant end,
                           const std::set<std::string>& ids, const ReminderVisitor& visitor) {
  if (!system.readable(WorldEntity::reminders)) return;
  for (const WorldReminder& reminder : system.world.reminders) {
    system.throwIfFaulty("reminders");
    ReminderRecord record = reminderRecord(reminder);
    if (!reminderMatches(reminder, record, system.world.timeZone, start, end, ids)) continue;
    bool stop = false;
    visitor(record, stop);
    if (stop) return;
  }
}

}  // namespace

struct CalendarStore::Impl {
  System::Impl& system;
};

int CalendarStore::authorizationStatus(System& system, CalendarEntityType type) {
  return system.authorization(entityOf(type));
}

std::optional<Instant> CalendarStore::dateFromComponents(System& system,
                                                         const DateComponents& due) {
  return resolveDueDate(due, system.impl().world.timeZone);
}

CalendarStore::CalendarStore(System& system) : impl_(new Impl{system.impl()}) {
  impl_->system.noteStoreCreated(false);
}

CalendarStore::~CalendarStore() = default;

void CalendarStore::requestFullAccessToEvents(AccessCompletion completion) {
  impl_->system.logCall("requestFullAccessToEvents");
  impl_->system.requestAccess(WorldEntity::events, std::move(completion));
}

void CalendarStore::requestFullAccessToReminders(AccessCompletion completion) {
  impl_->system.logCall("requestFullAccessToReminders");
  impl_->system.requestAccess(WorldEntity::reminders, std::move(completion));
}

void CalendarStore::requestAccess(CalendarEntityType type, AccessCompletion completion) {
  impl_->system.logCall("requestAccess");
  impl_->system.requestAccess(entityOf(type), std::move(completion));
}

std::vector<CalendarInfo> CalendarStore::calendars(CalendarEntityType type) {
  System::Impl& system = impl_->system;
  system.logCall("calendars");
  std::vector<CalendarInfo> found;
  if (!system.delay(system.world.faults.calendarsDelay)) return found;
  system.throwIfFaulty("calendars");
  if (system.readable(entityOf(type))) {
    for (const WorldCalendar& calendar : system.world.calendars) {
      if (calendar.entityType == type) found.push_back({calendar.id, calendar.title, nullptr});
    }
  }
  system.sourcesListed(entityOf(type));
  return found;
}

void CalendarStore::enumerateEvents(Instant start, Instant end,
                                    const std::vector<CalendarInfo>& calendars,
                                    const EventVisitor& visitor) {
  System::Impl& system = impl_->system;
  system.logCall("enumerateEvents");
  std::set<std::string> ids = identifiersOf(calendars);
  if (!system.delay(system.world.faults.eventsDelay)) return;
  if (!system.readable(WorldEntity::events)) return;
  for (const WorldEvent& event : system.world.events) {
    system.throwIfFaulty("events");
    if (!eventMatches(event, start, end, ids)) continue;
    if (!system.delay(system.world.faults.itemDelaySeconds)) return;
    bool stop = false;
    visitor(eventRecord(event), stop);
    if (stop) return;
  }
}

void CalendarStore::fetchIncompleteReminders(Instant start, Instant end,
                                             const std::vector<CalendarInfo>& lists,
                                             ReminderFetchCompletion completion) {
  System::Impl& system = impl_->system;
  system.logCall("fetchIncompleteReminders");
  if (system.world.faults.remindersFetchNeverCompletes) {
    system.keepUntilClose(std::make_shared<ReminderFetchCompletion>(std::move(completion)));
    return;
  }
  // The thread uses only the system, which joins it on close; the store may go first.
  double moment = system.momentAfter(system.world.faults.remindersDelay);
  system.spawn([&system, start, end, moment, ids = identifiersOf(lists),
                completion = std::move(completion)] {
    if (!system.sleepUntil(moment)) return;
    if (system.world.faults.remindersFetchFails) {
      completion(nullptr);
    } else {
      const ReminderWalk walk = [&](const ReminderVisitor& visitor) {
        walkMatchingReminders(system, start, end, ids, visitor);
      };
      completion(&walk);
    }
  });
}

ObserverToken CalendarStore::observeChanges(std::function<void()> onChange) {
  return impl_->system.observe(WorldChange::Store::events, std::move(onChange));
}

}  // namespace pemrix::platform
