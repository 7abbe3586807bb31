// CalendarStore: the operating system's calendar service (one store serves events and
// reminders), reduced to what the bridge reads. Records are plain copies: text is always
// well-formed UTF-8, and values the service leaves unset are empty optionals.
//
// Thread safety: `authorizationStatus` and `dateFromComponents` may be called from any
// thread. Everything else is called from the stores' serial queue only. Access and
// reminder-fetch completions and change callbacks arrive on threads of the service's
// choosing, never on the caller's.
//
// Failures: any call, and any walk over fetched reminders, may throw (a service error the
// adapter could not report otherwise, or std::bad_alloc); the stores answer
// "source_unavailable" for it. An exception thrown by a visitor never unwinds through the
// service's own code: the adapter stops the enumeration and rethrows it once the service
// has returned. Completions catch their own exceptions.
//
// Implementations: EventKit (apple/calendar_store.mm) and the simulated store of the
// simulator (sim/calendar_store.cc).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/instant.h"
#include "platform/calendar_entity_type.h"
#include "platform/observer_token.h"
#include "platform/platform_error.h"
#include "platform/system.h"

namespace pemrix::platform {

// A calendar or reminder list. `handle` refers to the service's own object and is passed
// back in predicates; callers never look inside it.
struct CalendarInfo {
  std::string identifier;
  std::string title;
  std::shared_ptr<const void> handle;
};

struct EventRecord {
  std::optional<std::string> calendarIdentifier;  // empty when the event has no calendar
  std::optional<Instant> start;
  std::optional<Instant> end;
  std::string itemIdentifier;
  std::optional<std::string> title;
  bool allDay = false;
};

// A reminder's due date as the service stores it: calendar fields, each possibly unset,
// and an optional time zone (IANA name) that wins over the resolving calendar's own zone.
struct DateComponents {
  std::optional<int64_t> year, month, day, hour, minute, second;
  std::optional<std::string> timeZone;
  // The service's own components object, when there is one; used to resolve the date.
  std::shared_ptr<const void> handle;
  // The identifier of the calendar the components carry ("gregorian", "buddhist", ...);
  // empty when they carry none, and then they are Gregorian.
  std::optional<std::string> calendar = std::nullopt;
};

struct ReminderRecord {
  std::optional<std::string> calendarIdentifier;  // empty when the reminder has no list
  std::string itemIdentifier;
  std::optional<std::string> title;
  bool completed = false;
  std::optional<DateComponents> due;
  int64_t priority = 0;
};

// Called once with whether access was granted and an error, if the request failed.
using AccessCompletion = std::function<void(bool granted, std::optional<PlatformError> error)>;
// Called for each matching event; setting `stop` ends the enumeration.
using EventVisitor = std::function<void(const EventRecord& event, bool& stop)>;
// Called for each fetched reminder; setting `stop` ends the walk.
using ReminderVisitor = std::function<void(const ReminderRecord& reminder, bool& stop)>;
// Walks the fetched reminders in the store's order, turning each into a record only when
// its turn comes, until the visitor sets its stop flag. Valid only during the completion.
using ReminderWalk = std::function<void(const ReminderVisitor& visitor)>;
// Called once with a walk over the fetched reminders, or with null when the fetch failed.
using ReminderFetchCompletion = std::function<void(const ReminderWalk* reminders)>;

class CalendarStore {
 public:
  // The raw authorisation status for `type`: 0 not determined, 1 restricted, 2 denied,
  // 3 full access, 4 write only; other values may appear on newer systems.
  static int authorizationStatus(System& system, CalendarEntityType type);

  // Resolves due-date components into an instant with the components' own calendar, or,
  // when they carry none, the Gregorian calendar in the system's time zone (whatever
  // calendar the user's system shows: the service stores due dates as Gregorian). Unset
  // hour, minute and second count as zero, and a time zone in the components wins over the
  // calendar's. Nothing when no date results.
  static std::optional<Instant> dateFromComponents(System& system, const DateComponents& due);

  // Creates the store. It serves no data for an entity type until access is granted.
  explicit CalendarStore(System& system);
  ~CalendarStore();
  CalendarStore(const CalendarStore&) = delete;
  CalendarStore& operator=(const CalendarStore&) = delete;

  // Access requests of systems from 14.0 on.
  void requestFullAccessToEvents(AccessCompletion completion);
  void requestFullAccessToReminders(AccessCompletion completion);
  // The access request of older systems.
  void requestAccess(CalendarEntityType type, AccessCompletion completion);

  // The calendars (or reminder lists) of one type, in the store's stable order.
  std::vector<CalendarInfo> calendars(CalendarEntityType type);

  // Calls `visitor` synchronously, on the calling thread, for each event of `calendars`
  // that overlaps [start, end), in the store's order, until `visitor` sets its stop flag.
  void enumerateEvents(Instant start, Instant end, const std::vector<CalendarInfo>& calendars,
                       const EventVisitor& visitor);

  // Starts fetching the incomplete reminders of `lists` due in [start, end) and returns at
  // once; `completion` is called later, once, on another thread, and may walk the fetched
  // reminders there.
  void fetchIncompleteReminders(Instant start, Instant end, const std::vector<CalendarInfo>& lists,
                                ReminderFetchCompletion completion);

  // Calls `onChange` (on a thread of the service's choosing) whenever this store reports
  // that its data changed, until the returned token is released.
  ObserverToken observeChanges(std::function<void()> onChange);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace pemrix::platform
