// CalendarStore: the operating system's calendar service (one store serves events and
// reminders), reduced to what the bridge reads. Records are plain copies: text is always
// well-formed UTF-8, and values the service leaves unset are empty optionals.
//
// Thread safety: `authorization` may be called from any thread. Everything else is called
// from the stores' serial queue only. Access completions and change callbacks arrive on
// threads of the service's choosing, never on the caller's.
//
// Failures: every call that can fail returns a Status (platform/status.h), ok on success;
// results come through pointers. Each adapter turns its service's failures into a Status at
// its own boundary: no exception leaves it for a service failure. A read that names a
// calendar the service no longer has fails as gone. The visitors are the stores' own code:
// what they throw (std::bad_alloc) never unwinds through the service; the adapter stops the
// walk and rethrows it once the service has returned.
//
// Reads give exactly what their window selects (platform/time_window.h): the events that
// overlap it, the incomplete reminders due in it.
//
// A store is made by its System (platform/system.h), which also answers how far the user
// lets this process read. Implementations: EventKit (apple/calendar_store.mm),
// evolution-data-server (eds/calendar_store.cc), the simulator's store
// (sim/calendar_store.cc), and on Linux desktops the stores of every loaded backend as one
// (desktop/desktop_calendar_store.cc).
#pragma once

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
#include "platform/status.h"
#include "platform/time_window.h"

namespace pemrix::platform {

// A calendar or reminder list. Reads name calendars by `identifier`.
struct CalendarInfo {
  std::string identifier;
  std::string title;
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

// Called once when an access request has ended: with a failure when the request failed or
// could not be made. Whether access was given is read from `authorization` afterwards.
using AccessCompletion = std::function<void(Status status)>;
// Called for each event in turn; setting `stop` ends the enumeration.
using EventVisitor = std::function<void(const EventRecord& event, bool& stop)>;
// Called for each reminder in turn; setting `stop` ends the enumeration.
using ReminderVisitor = std::function<void(const ReminderRecord& reminder, bool& stop)>;

class CalendarStore {
 public:
  virtual ~CalendarStore() = default;
  CalendarStore(const CalendarStore&) = delete;
  CalendarStore& operator=(const CalendarStore&) = delete;

  // Asks the user for read access to `type` (on macOS, the system's prompt) and returns at
  // once; `completion` is called later, once, on another thread.
  virtual void requestAccess(CalendarEntityType type, AccessCompletion completion) = 0;

  // Puts the calendars (or reminder lists) of one type in `out`, in the store's stable order.
  virtual Status calendars(CalendarEntityType type, std::vector<CalendarInfo>* out) = 0;

  // Calls `visitor` synchronously, on the calling thread, for each event of the calendars
  // `calendarIds` that overlaps [start, end), in the store's order, until `visitor` sets its
  // stop flag.
  virtual Status enumerateEvents(Instant start, Instant end,
                                 const std::vector<std::string>& calendarIds,
                                 const EventVisitor& visitor) = 0;

  // Calls `visitor` synchronously, on the calling thread, for each incomplete reminder of the
  // lists `listIds` due in [start, end), in the store's order, until `visitor` sets its stop
  // flag. Each reminder is read from the service only when its turn comes. A fetch that the
  // service answered with nothing at all fails as `Status::noResult`.
  virtual Status enumerateIncompleteReminders(Instant start, Instant end,
                                              const std::vector<std::string>& listIds,
                                              const ReminderVisitor& visitor) = 0;

  // Calls `onChange` (on a thread of the service's choosing) whenever this store reports
  // that its data changed, until the token put in `*token` is released.
  virtual Status observeChanges(std::function<void()> onChange, ObserverToken* token) = 0;

 protected:
  CalendarStore() = default;
};

}  // namespace pemrix::platform
