// The simulated calendar store: serves the world's calendars, events and reminders, with
// the world's delays and faults, and only while the entity's access is full. Reads select
// as the macOS adapter does: the service's own predicate (here, on the instants the service
// keeps), then the exact window test. Strays are records that the service delivers whatever
// the request: they pass the predicate, and the window test too unless they carry the dates
// it needs, so that the stores meet records of other calendars, without dates or completed.
#include "platform/calendar_store.h"

#include <set>

#include "sim/due_date.h"
#include "sim/simulated_system_impl.h"

namespace pemrix::platform {

namespace {

// How long a reminder fetch that never completes waits: until the system closes.
constexpr double kForeverSeconds = 1e9;

bool inSelection(const std::optional<std::string>& calendar, const std::set<std::string>& ids) {
  return calendar && ids.count(*calendar) > 0;
}

// Gone when one of `ids` names no calendar of `type` in the world.
Status findCalendars(const World& world, CalendarEntityType type,
                     const std::vector<std::string>& ids, std::set<std::string>* found) {
  for (const std::string& id : ids) {
    bool known = false;
    for (const WorldCalendar& calendar : world.calendars) {
      known = known || (calendar.id == id && calendar.entityType == type);
    }
    if (!known) return Status::gone("The simulated store has no calendar " + id + ".");
    found->insert(id);
  }
  return Status();
}

// Whether the read delivers the event: a selected calendar and an overlap with the window.
bool eventMatches(const WorldEvent& event, const TimeWindow& window,
                  const std::set<std::string>& ids) {
  const bool dated = event.start && event.end;
  if (dated && !window.overlaps(*event.start, *event.end)) return false;
  return event.stray || (dated && inSelection(event.calendar, ids));
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

// Whether the service's own predicate selects the reminder: a selected list, not completed,
// and due in the widened window by the instant the service keeps, not the one the user
// means (a date alone is kept at midnight UTC).
bool reminderFetched(const WorldReminder& reminder, const TimeWindow& widened,
                     const std::set<std::string>& ids) {
  if (reminder.stray) return true;
  if (!inSelection(reminder.list, ids) || reminder.completed || !reminder.due) return false;
  std::optional<Instant> stored = storedDueDate(*reminder.due);
  return stored && widened.contains(*stored);
}

}  // namespace

class SimulatedCalendarStore final : public CalendarStore {
 public:
  explicit SimulatedCalendarStore(SimulatedSystem::Impl& system) : system_(system) {}

  void requestAccess(CalendarEntityType type, AccessCompletion completion) override;
  Status calendars(CalendarEntityType type, std::vector<CalendarInfo>* out) override;
  Status enumerateEvents(Instant start, Instant end, const std::vector<std::string>& calendarIds,
                         const EventVisitor& visitor) override;
  Status enumerateIncompleteReminders(Instant start, Instant end,
                                      const std::vector<std::string>& listIds,
                                      const ReminderVisitor& visitor) override;
  Status observeChanges(std::function<void()> onChange, ObserverToken* token) override;

 private:
  SimulatedSystem::Impl& system_;
};

void SimulatedCalendarStore::requestAccess(CalendarEntityType type, AccessCompletion completion) {
  system_.requestAccess(entityOf(type), std::move(completion));
}

Status SimulatedCalendarStore::calendars(CalendarEntityType type, std::vector<CalendarInfo>* out) {
  SimulatedSystem::Impl& system = system_;
  system.logCall("calendars");
  if (!system.delay(system.world.faults.calendarsDelay)) return Status();
  if (Status failed = system.faultIn("calendars"); !failed.ok()) return failed;
  if (system.readable(entityOf(type))) {
    for (const WorldCalendar& calendar : system.world.calendars) {
      if (calendar.entityType == type) out->push_back({calendar.id, calendar.title});
    }
  }
  system.sourcesListed(entityOf(type));
  return Status();
}

Status SimulatedCalendarStore::enumerateEvents(Instant start, Instant end,
                                               const std::vector<std::string>& calendarIds,
                                               const EventVisitor& visitor) {
  SimulatedSystem::Impl& system = system_;
  system.logCall("enumerateEvents");
  if (!system.delay(system.world.faults.eventsDelay)) return Status();
  if (!system.readable(WorldEntity::events)) return Status();
  std::set<std::string> ids;
  if (Status gone = findCalendars(system.world, CalendarEntityType::events, calendarIds, &ids);
      !gone.ok()) {
    return gone;
  }
  const TimeWindow window{start, end};
  for (const WorldEvent& event : system.world.events) {
    if (Status failed = system.faultIn("events"); !failed.ok()) return failed;
    if (!eventMatches(event, window, ids)) continue;
    if (!system.delay(system.world.faults.itemDelaySeconds)) break;
    bool stop = false;
    visitor(eventRecord(event), stop);
    if (stop) break;
  }
  return Status();
}

Status SimulatedCalendarStore::enumerateIncompleteReminders(Instant start, Instant end,
                                                            const std::vector<std::string>& listIds,
                                                            const ReminderVisitor& visitor) {
  SimulatedSystem::Impl& system = system_;
  system.logCall("enumerateIncompleteReminders");
  const WorldFaults& faults = system.world.faults;
  if (faults.remindersFetchNeverCompletes) {
    system.delay(kForeverSeconds);
    return Status::unavailable("The simulated system closed during the reminder fetch.");
  }
  if (!system.delay(faults.remindersDelay)) return Status();
  if (faults.remindersFetchFails) return Status::noResult("The simulated reminder fetch failed.");
  if (!system.readable(WorldEntity::reminders)) return Status();
  std::set<std::string> ids;
  if (Status gone = findCalendars(system.world, CalendarEntityType::reminders, listIds, &ids);
      !gone.ok()) {
    return gone;
  }
  const TimeWindow window{start, end};
  for (const WorldReminder& reminder : system.world.reminders) {
    if (Status failed = system.faultIn("reminders"); !failed.ok()) return failed;
    if (!reminderFetched(reminder, window.widened(), ids)) continue;
    // Each record is made only when its turn comes, as the macOS adapter converts them.
    ReminderRecord record = reminderRecord(reminder, system.world.timeZone);
    if (record.due ? !window.contains(*record.due) : !reminder.stray) continue;
    bool stop = false;
    visitor(record, stop);
    if (stop) break;
  }
  return Status();
}

Status SimulatedCalendarStore::observeChanges(std::function<void()> onChange,
                                              ObserverToken* token) {
  *token = system_.observe(WorldChange::Store::events, std::move(onChange));
  return Status();
}

Authorization SimulatedSystem::calendarAuthorization(CalendarEntityType type) {
  return authorization(entityOf(type));
}

Status SimulatedSystem::openCalendarStore(std::unique_ptr<CalendarStore>* store) {
  *store = std::make_unique<SimulatedCalendarStore>(impl());
  impl().noteStoreCreated(false);
  return Status();
}

}  // namespace pemrix::platform
