// CalendarStore: the operating system's calendar service (one store serves events and
// reminders), reduced to what the bridge reads. Records are plain copies: text is always
// well-formed UTF-8, and values the service leaves unset are empty optionals.
//
// Thread safety: `authorization` may be called from any thread. Everything else is called
// from the stores' serial queue only. Access and reminder-fetch completions and change
// callbacks arrive on threads of the service's choosing, never on the caller's.
//
// Failures: every call that can fail says so with a `PlatformStatus` (nothing on success),
// returned or handed to its completion; results come through pointers. The one exception is
// making a store and starting to observe it, which can fail only by throwing (a constructor
// has no other way, and the stores do both together); the stores answer that failure as
// any other. The visitors are the stores' own code: what they throw
// (std::bad_alloc) never unwinds through the service; the adapter stops the walk and
// rethrows it once the service has returned. Completions catch their own exceptions.
//
// Implementations: EventKit (apple/calendar_store.mm), evolution-data-server
// (eds/calendar_store.cc) and the simulator's store (sim/calendar_store.cc).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/instant.h"
#include "platform/authorization.h"
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

struct ReminderRecord {
  std::optional<std::string> calendarIdentifier;  // empty when the reminder has no list
  std::string itemIdentifier;
  std::optional<std::string> title;
  bool completed = false;
  // The instant the reminder is due, resolved by the adapter (a wall-clock time by
  // platform/wall_time.h). Nothing when it has no due date, or none that names an instant.
  std::optional<Instant> due;
  int64_t priority = 0;
};

// How far a calendar service's own time test may place a date or time from the instant the
// user means. A date without a time of day, or a time of day without a zone, means that wall
// time in the user's zone, but the services test it as if it were in UTC (EventKit keeps
// such a due date at midnight UTC, or at that time of day in UTC; EDS's own due-date test
// reads date-only due dates in UTC too): the two differ by the user's UTC offset, which lies
// between UTC-12 and UTC+14 (within 16 hours in the local mean times before standard zones,
// and never a whole day). So the adapters ask their service for a window widened by a whole
// day on each side, and the exact test against the request's window is the stores' (for
// reminders) or the adapter's own (for events on EDS).
inline constexpr std::chrono::hours kServiceWindowMargin{24};

// Called once when an access request has ended: with an error when the request failed or
// could not be made. Whether access was given is read from `authorization` afterwards.
using AccessCompletion = std::function<void(PlatformStatus status)>;
// Called for each matching event; setting `stop` ends the enumeration.
using EventVisitor = std::function<void(const EventRecord& event, bool& stop)>;
// Called for each fetched reminder; setting `stop` ends the walk.
using ReminderVisitor = std::function<void(const ReminderRecord& reminder, bool& stop)>;
// Walks the fetched reminders in the store's order, turning each into a record only when
// its turn comes, until the visitor sets its stop flag; an error when reading a reminder
// failed. Valid only during the completion.
using ReminderWalk = std::function<PlatformStatus(const ReminderVisitor& visitor)>;
// Called once with the outcome of the fetch and a walk over the fetched reminders, which
// may be used only when the fetch succeeded.
using ReminderFetchCompletion =
    std::function<void(PlatformStatus fetched, const ReminderWalk& reminders)>;

class CalendarStore {
 public:
  // How far the user lets this process read `type`, as it stands now; creates no store.
  static Authorization authorization(System& system, CalendarEntityType type);

  // Creates the store. It serves no data for an entity type until access is granted.
  explicit CalendarStore(System& system);
  ~CalendarStore();
  CalendarStore(const CalendarStore&) = delete;
  CalendarStore& operator=(const CalendarStore&) = delete;

  // Asks the user for read access to `type` (on macOS, the system's prompt) and returns at
  // once; `completion` is called later, once, on another thread.
  void requestAccess(CalendarEntityType type, AccessCompletion completion);

  // Puts the calendars (or reminder lists) of one type in `out`, in the store's stable order.
  PlatformStatus calendars(CalendarEntityType type, std::vector<CalendarInfo>* out);

  // Calls `visitor` synchronously, on the calling thread, for each event of `calendars`
  // that overlaps [start, end), in the store's order, until `visitor` sets its stop flag.
  PlatformStatus enumerateEvents(Instant start, Instant end,
                                 const std::vector<CalendarInfo>& calendars,
                                 const EventVisitor& visitor);

  // Starts fetching the incomplete reminders of `lists` that the service finds due in
  // [start, end) widened by kServiceWindowMargin on each side, and returns at once;
  // `completion` is called later, once, on another thread, and may walk the fetched
  // reminders there. Every reminder due in [start, end) is among them, with others due
  // near it: the caller tests each due date against the window itself.
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
