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

ReminderRecord reminderRecord(const WorldReminder& reminder, const std::string& zone) {
  std::optional<Instant> due;
  if (reminder.due) due = resolveDueDate(*reminder.due, zone);
  return ReminderRecord{reminder.list,      reminder.id, reminder.title,
                        reminder.completed, due,         reminder.priority};
}

// Whether the store's own predicate selects the reminder: a selected list, not completed,
// and due in [start, end) by the instant the service keeps, not the one the user means (a
// date alone is kept at midnight UTC).
bool reminderMatches(const WorldReminder& reminder, Instant start, Instant end,
                     const std::set<std::string>& ids) {
  if (reminder.stray) return true;
  if (!inSelection(reminder.list, ids) || reminder.completed || !reminder.due) return false;
  std::optional<Instant> stored = storedDueDate(*reminder.due);
  return stored && *stored >= start && *stored < end;
}

// Visits the reminders that the reminders predicate selects for [start, end), in world order,
// building each record only when its turn comes; nothing while reminders are not readable.
PlatformStatus walkMatchingReminders(const System::Impl& system, Instant start, Instant end,
                                     const std::set<std::string>& ids,
                                     const ReminderVisitor& visitor) {
  if (!system.readable(WorldEntity::reminders)) return std::nullopt;
  for (const WorldReminder& reminder : system.world.reminders) {
    if (PlatformStatus failed = system.faultIn("reminders")) return failed;
    if (!reminderMatches(reminder, start, end, ids)) continue;
    bool stop = false;
    visitor(reminderRecord(reminder, system.world.timeZone), stop);
    if (stop) break;
  }
  return std::nullopt;
}

}  // namespace

struct CalendarStore::Impl {
  System::Impl& system;
};

Authorization CalendarStore::authorization(System& system, CalendarEntityType type) {
  return system.authorization(entityOf(type));
}

CalendarStore::CalendarStore(System& system) : impl_(new Impl{system.impl()}) {
  impl_->system.noteStoreCreated(false);
}

CalendarStore::~CalendarStore() = default;

void CalendarStore::requestAccess(CalendarEntityType type, AccessCompletion completion) {
  impl_->system.requestAccess(entityOf(type), std::move(completion));
}

PlatformStatus CalendarStore::calendars(CalendarEntityType type, std::vector<CalendarInfo>* out) {
  System::Impl& system = impl_->system;
  system.logCall("calendars");
  if (!system.delay(system.world.faults.calendarsDelay)) return std::nullopt;
  if (PlatformStatus failed = system.faultIn("calendars")) return failed;
  if (system.readable(entityOf(type))) {
    for (const WorldCalendar& calendar : system.world.calendars) {
      if (calendar.entityType == type) out->push_back({calendar.id, calendar.title, nullptr});
    }
  }
  system.sourcesListed(entityOf(type));
  return std::nullopt;
}

PlatformStatus CalendarStore::enumerateEvents(Instant start, Instant end,
                                              const std::vector<CalendarInfo>& calendars,
                                              const EventVisitor& visitor) {
  System::Impl& system = impl_->system;
  system.logCall("enumerateEvents");
  std::set<std::string> ids = identifiersOf(calendars);
  if (!system.delay(system.world.faults.eventsDelay)) return std::nullopt;
  if (!system.readable(WorldEntity::events)) return std::nullopt;
  for (const WorldEvent& event : system.world.events) {
    if (PlatformStatus failed = system.faultIn("events")) return failed;
    if (!eventMatches(event, start, end, ids)) continue;
    if (!system.delay(system.world.faults.itemDelaySeconds)) break;
    bool stop = false;
    visitor(eventRecord(event), stop);
    if (stop) break;
  }
  return std::nullopt;
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
  // The predicate of the macOS adapter: the window widened on each side, since the service
  // tests the due dates it keeps, not the ones the user means.
  system.spawn([&system, start = start - kServiceWindowMargin, end = end + kServiceWindowMargin,
                moment, ids = identifiersOf(lists), completion = std::move(completion)] {
    if (!system.sleepUntil(moment)) return;
    const ReminderWalk walk = [&](const ReminderVisitor& visitor) {
      return walkMatchingReminders(system, start, end, ids, visitor);
    };
    PlatformStatus fetched;
    if (system.world.faults.remindersFetchFails) {
      fetched = PlatformError{"The simulated reminder fetch failed."};
    }
    completion(std::move(fetched), walk);
  });
}

ObserverToken CalendarStore::observeChanges(std::function<void()> onChange) {
  return impl_->system.observe(WorldChange::Store::events, std::move(onChange));
}

}  // namespace pemrix::platform
