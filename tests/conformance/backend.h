// ConformanceBackend: one backend of the platform interface (CalendarStore, ContactStore,
// their System) as the conformance suite drives it. The suite (conformance_test.cc) says
// what every backend must do; each backend supplies a ConformanceBackend from a file of its
// own (sim_backend.cc, eds_backend.cc, apple_backend.mm) that defines
// `makeConformanceBackend`, and tests/conformance/CMakeLists.txt links the suite with that
// file into one test executable per backend (pemrix_add_conformance); docs/conformance.md
// says how.
//
// A backend's writer puts a world into its real store, as another program would. What a
// writer cannot express, or its store cannot keep, it names through `cannot`, and the cases
// that need it are skipped with that reason, never silently.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/authorization.h"
#include "platform/calendar_store.h"
#include "platform/contact_store.h"
#include "platform/system.h"

namespace pemrix::conformance {

// The three kinds of source: events calendars, reminder lists, contact containers.
enum class Kind { events, reminders, contacts };

struct Source {
  Kind kind;
  std::string id, title;
};

// A repeating event: daily or weekly from its first start, `count` times, some occurrences
// excluded and some moved (by the wall time of their original start).
struct Repeat {
  bool weekly = false;
  int count = 1;
  std::vector<std::chrono::local_seconds> excluded;
  struct Moved {
    std::chrono::local_seconds original, start;
    std::string title;
  };
  std::vector<Moved> moved;
};

// An event at a wall time of `zone` (an IANA name; "UTC" for instants). A timed event
// lasts `length`, or `days` nominal days when `days` is set (the same wall time that many
// days later); an all-day event starts on the date of `start` and lasts `days` days.
struct Event {
  std::string calendar, id, title;
  std::string zone = "UTC";
  std::chrono::local_seconds start;
  std::chrono::seconds length{0};
  int days = 0;
  bool allDay = false;
  std::optional<Repeat> repeat;
};

// A reminder due at a date, or a date and a wall time: in `zone` when it has one,
// floating (the user's wall time) when not.
struct Reminder {
  std::string list, id, title;
  std::chrono::local_seconds due;
  bool dateOnly = false;
  std::optional<std::string> zone;
  bool completed = false;
};

struct Contact {
  std::string container, id, givenName, familyName, organizationName, jobTitle;
};

struct World {
  std::string userZone = "Europe/Berlin";  // the user's zone: floating and date-only times
  std::vector<Source> sources;             // in the order the store lists them
  std::vector<Event> events;
  std::vector<Reminder> reminders;
  std::vector<Contact> contacts;
};

// What a writer may be unable to express.
enum class Capability {
  recurrence,       // repeating events, excluded and moved occurrences
  nominalDays,      // a timed event whose length is given in days
  goneCalendar,     // a calendar or reminder list taken away between listing and reading
  goneContainer,    // a contact container taken away between listing and reading
  failingService,   // the service failing a read of a source that exists
  authorization,    // authorisation states other than full access
  namedContainers,  // contact containers of the world's own, with its titles
  skippedDueTimes,  // a reminder due at a local time that a clock change skips (a store's
                    // own library may drop such a due date when it reads the item)
};

enum class Fault { sourceGone, serviceFails };

class ConformanceBackend {
 public:
  virtual ~ConformanceBackend() = default;

  // Why this backend's writer cannot express `capability`; empty when it can.
  virtual std::string cannot(Capability capability) const = 0;

  // Puts `world` into the store in place of whatever was there, with full access, and
  // makes fresh stores over it.
  virtual void write(const World& world) = 0;

  virtual platform::System& system() = 0;
  virtual platform::CalendarStore& calendarStore() = 0;
  virtual platform::ContactStore& contactStore() = 0;
  // Runs `task` where the stores must be called (their serial queue) and waits for it.
  virtual void onStoreQueue(const std::function<void()>& task) = 0;

  // Changes the store from another client: something new in source `sourceId`.
  virtual void changeFromAnotherClient(Kind kind, const std::string& sourceId) = 0;
  // Makes the next read of source `sourceId` fail by `fault`; the stores may be made anew,
  // so callers take them from the backend again afterwards.
  virtual void inject(Fault fault, Kind kind, const std::string& sourceId) = 0;
  // Sets how far the user lets this process read `kind` (capability `authorization`).
  virtual void setAuthorization(Kind kind, platform::Authorization state) = 0;

  // Identifiers, for a store that assigns its own (platform_calls.h translates with these):
  // the store's identifier of the world's source `worldId`, and the world's identifier of
  // the store's source, item or contact `storeId`, nothing for one the writer did not make
  // (what the store held besides the world). A store that keeps the world's identifiers
  // needs neither.
  virtual std::string storeId(const std::string& worldId) const { return worldId; }
  virtual std::optional<std::string> worldId(const std::string& storeId) const { return storeId; }
};

// Defined by the backend's own file.
std::unique_ptr<ConformanceBackend> makeConformanceBackend();

}  // namespace pemrix::conformance
