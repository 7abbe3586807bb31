// World: the contents and behaviour of the simulated personal-data services: authorisation
// states, what asking for access does, calendars, events, reminders, contact accounts and
// contacts, and faults to inject. The simulator loads it from a JSON world file (format in
// docs/simulator.md); tests build it directly.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/instant.h"
#include "platform/authorization.h"
#include "platform/calendar_entity_type.h"

namespace pemrix::platform {

// The three authorisation subjects of the simulated system, in this order.
enum class WorldEntity { events = 0, reminders = 1, contacts = 2 };

// What asking for access to one entity does.
struct AccessBehaviour {
  std::optional<Authorization> status;  // the status after the request; unchanged when absent
  bool error = false;                   // the completion reports an error
  double delaySeconds = 0;              // how long the request takes
  bool completes = true;                // false: the completion is never called
};

struct WorldCalendar {
  std::string id;
  std::string title;
  CalendarEntityType entityType = CalendarEntityType::events;
};

struct WorldEvent {
  std::optional<std::string> calendar;
  std::string id;
  std::optional<std::string> title;
  std::optional<Instant> start;
  std::optional<Instant> end;
  bool allDay = false;
  bool stray = false;  // delivered whatever the predicate says
};

struct WorldDue {
  std::optional<int64_t> year, month, day, hour, minute, second;
  std::optional<std::string> timeZone;
  std::optional<std::string> calendar;  // the components' own calendar (see kDueCalendars)
};

struct WorldReminder {
  std::optional<std::string> list;
  std::string id;
  std::optional<std::string> title;
  bool completed = false;
  std::optional<WorldDue> due;
  int64_t priority = 0;
  bool stray = false;
};

struct WorldContainer {
  std::string id;
  std::string name;
};

struct WorldContact {
  std::string container;
  std::string id;
  std::string givenName, familyName, organizationName, jobTitle;
};

// A change notification posted by one store, `afterSeconds` after the system started.
struct WorldChange {
  double afterSeconds = 0;
  enum class Store { events, contacts } store = Store::events;
};

struct WorldFaults {
  // Delays before the named operation delivers, in seconds.
  double calendarsDelay = 0, eventsDelay = 0, remindersDelay = 0, containersDelay = 0,
         contactsDelay = 0;
  double itemDelaySeconds = 0;  // before each delivered event or contact
  bool containersError = false;
  std::vector<std::string> contactsErrorIn;  // containers whose enumeration fails
  bool remindersFetchFails = false;          // the fetch delivers no list
  bool remindersFetchNeverCompletes = false;
  std::vector<WorldEntity> revokeDuring;  // denied the first time their sources are listed
  std::vector<WorldChange> changes;
  // Operations whose service call throws: "access" (any access request), "calendars",
  // "events", "reminders" (while the fetched reminders are walked), "containers",
  // "contacts".
  std::vector<std::string> throwsIn;
};

// Calendars that due-date components may carry: the simulated service resolves these.
inline constexpr std::string_view kDueCalendars[] = {"gregorian", "buddhist"};
// Calendars a user's system may show. Due dates never depend on it: they are Gregorian
// unless their components carry a calendar of their own.
inline constexpr std::string_view kSystemCalendars[] = {"gregorian", "buddhist", "japanese",
                                                        "hebrew",    "islamic",  "persian"};

struct World {
  std::array<Authorization, 3> authorization = {
      Authorization::fullAccess, Authorization::fullAccess, Authorization::fullAccess};
  std::array<AccessBehaviour, 3> accessRequests = {AccessBehaviour{Authorization::fullAccess},
                                                   AccessBehaviour{Authorization::fullAccess},
                                                   AccessBehaviour{Authorization::fullAccess}};
  std::string timeZone = "UTC";
  std::string calendar = "gregorian";  // the system calendar (see kSystemCalendars)
  std::vector<WorldCalendar> calendars;
  std::vector<WorldEvent> events;
  std::vector<WorldReminder> reminders;
  std::vector<WorldContainer> containers;
  std::vector<WorldContact> contacts;
  WorldFaults faults;
};

// Reads a world from the text of a world file. Unknown keys, values of the wrong type and
// unknown time zones are errors; the error text names the offending key.
std::variant<World, std::string> parseWorld(std::string_view json);

// Reads the world file at `path`; the error text names the file and the problem.
std::variant<World, std::string> loadWorldFile(const std::string& path);

// The built-in demonstration world: full access, events and reminders in the days around
// `now`, and a few dozen contacts in two accounts.
World demoWorld(Instant now);

}  // namespace pemrix::platform
