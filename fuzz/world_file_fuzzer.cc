// Fuzz target: parseWorld, the simulator's world-file reader. Any text must give a world
// or a problem text without crashing; a problem names where it is; reading the same text
// twice gives the same world; and the due dates of an accepted world resolve (or are
// refused) without undefined behaviour, as a reminders query would resolve them.
#include <cstdint>
#include <sstream>
#include <string>
#include <variant>

#include "fuzz_check.h"
#include "sim/due_date.h"
#include "sim/world.h"

namespace pemrix::platform {
namespace {

// Writes every field of a world, so that two worlds compare by their descriptions.
class Describer {
 public:
  std::string describe(const World& world) {
    for (Authorization status : world.authorization) put(status);
    for (const AccessBehaviour& access : world.accessRequests) {
      put(access.status), put(access.error), put(access.delaySeconds), put(access.completes);
    }
    put(world.timeZone);
    for (const WorldCalendar& c : world.calendars) {
      put(c.id), put(c.title), put(static_cast<int>(c.entityType));
    }
    for (const WorldEvent& e : world.events) {
      put(e.calendar), put(e.id), put(e.title), put(e.start), put(e.end), put(e.allDay);
      put(e.stray);
    }
    for (const WorldReminder& r : world.reminders) describeReminder(r);
    for (const WorldContainer& c : world.containers) put(c.id), put(c.name);
    for (const WorldContact& c : world.contacts) {
      put(c.container), put(c.id), put(c.givenName), put(c.familyName);
      put(c.organizationName), put(c.jobTitle);
    }
    describeFaults(world.faults);
    return out_.str();
  }

 private:
  void describeReminder(const WorldReminder& r) {
    put(r.list), put(r.id), put(r.title), put(r.completed), put(r.priority), put(r.stray);
    put(r.due.has_value());
    if (!r.due) return;
    put(r.due->year), put(r.due->month), put(r.due->day), put(r.due->hour);
    put(r.due->minute), put(r.due->second), put(r.due->timeZone);
  }

  void describeFaults(const WorldFaults& f) {
    put(f.calendarsDelay), put(f.eventsDelay), put(f.remindersDelay), put(f.containersDelay);
    put(f.contactsDelay), put(f.itemDelaySeconds), put(f.containersError);
    for (const std::string& id : f.contactsErrorIn) put(id);
    put(f.remindersFetchFails), put(f.remindersFetchNeverCompletes);
    for (WorldEntity entity : f.revokeDuring) put(static_cast<int>(entity));
    for (const WorldChange& change : f.changes) {
      put(change.afterSeconds), put(static_cast<int>(change.store));
    }
  }

  template <typename T>
  void put(const T& value) {
    out_ << value << '\x1F';
  }
  void put(Instant instant) { put(instant.time_since_epoch().count()); }
  void put(Authorization authorization) { put(static_cast<int>(authorization)); }
  template <typename T>
  void put(const std::optional<T>& value) {
    put(value.has_value());
    if (value) put(*value);
  }

  std::ostringstream out_;
};

// Resolves every due date as a reminders query would; only undefined behaviour or a
// crash can fail here.
void resolveDueDates(const World& world) {
  for (const WorldReminder& reminder : world.reminders) {
    if (reminder.due) (void)resolveDueDate(*reminder.due, world.timeZone);
  }
}

}  // namespace
}  // namespace pemrix::platform

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pemrix::platform;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto first = parseWorld(text);
  if (auto* problem = std::get_if<std::string>(&first)) {
    FUZZ_CHECK(!problem->empty());
    return 0;
  }
  auto second = parseWorld(text);
  FUZZ_CHECK(std::holds_alternative<World>(second));
  const World& world = std::get<World>(first);
  FUZZ_CHECK(Describer().describe(world) == Describer().describe(std::get<World>(second)));
  resolveDueDates(world);
  return 0;
}
