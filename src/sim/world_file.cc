// Reading a world file: JSON text into a World, rejecting unknown keys, wrong types,
// unknown time zones and bad timestamps with a message that names the key path.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "sim/world.h"
#include "sim/world_json.h"

namespace pemrix::platform {

namespace {

using nlohmann::json;

// The keys of per-entity objects, in the order of World's arrays.
constexpr std::array<std::string_view, 3> kEntityKeys = {"events", "reminders", "contacts"};

WorldEntity entityNamed(const WorldField& field) {
  std::string name = field.text();
  if (name == "events") return WorldEntity::events;
  if (name == "reminders") return WorldEntity::reminders;
  if (name == "contacts") return WorldEntity::contacts;
  field.fail("not \"events\", \"reminders\" or \"contacts\"");
}

// An entity's authorisation status as a world file gives it (docs/simulator.md): 0 not
// determined, 1 restricted, 2 denied, 3 full access, 4 write-only for events and reminders
// or limited for contacts; any other integer is a status this build does not know.
Authorization readStatus(const WorldField& field, WorldEntity entity) {
  switch (field.smallInteger()) {
    case 0:
      return Authorization::notDetermined;
    case 1:
      return Authorization::restricted;
    case 2:
      return Authorization::denied;
    case 3:
      return Authorization::fullAccess;
    case 4:
      return entity == WorldEntity::contacts ? Authorization::limited : Authorization::writeOnly;
    default:
      return Authorization::unknown;
  }
}

void readAuthorization(const WorldField& field, std::array<Authorization, 3>& out) {
  field.expectObject({"events", "reminders", "contacts"});
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto entity = static_cast<WorldEntity>(i);
    readMember(field, kEntityKeys[i], out[i], [entity](auto f) { return readStatus(f, entity); });
  }
}

AccessBehaviour readAccess(const WorldField& field, WorldEntity entity) {
  field.expectObject({"status", "error", "delaySeconds", "completes"});
  AccessBehaviour access{Authorization::fullAccess};
  if (auto status = field.member("status")) {
    access.status = status->isNull() ? std::nullopt : std::optional(readStatus(*status, entity));
  }
  readMember(field, "error", access.error, [](auto f) { return f.boolean(); });
  readMember(field, "delaySeconds", access.delaySeconds, [](auto f) { return f.seconds(); });
  readMember(field, "completes", access.completes, [](auto f) { return f.boolean(); });
  return access;
}

void readAccessRequests(const WorldField& field, std::array<AccessBehaviour, 3>& out) {
  field.expectObject({"events", "reminders", "contacts"});
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto entity = static_cast<WorldEntity>(i);
    readMember(field, kEntityKeys[i], out[i], [entity](auto f) { return readAccess(f, entity); });
  }
}

WorldCalendar readCalendar(const WorldField& field) {
  field.expectObject({"id", "title", "entityType"});
  WorldCalendar calendar;
  calendar.id = field.required("id").text();
  readMember(field, "title", calendar.title, [](auto f) { return f.text(); });
  if (auto type = field.member("entityType")) {
    std::string name = type->text();
    if (name != "events" && name != "reminders") type->fail("not \"events\" or \"reminders\"");
    calendar.entityType =
        name == "events" ? CalendarEntityType::events : CalendarEntityType::reminders;
  }
  return calendar;
}

WorldEvent readEvent(const WorldField& field) {
  field.expectObject({"calendar", "id", "title", "start", "end", "allDay", "stray"});
  WorldEvent event;
  event.id = field.required("id").text();
  readNullable(field, "calendar", event.calendar, [](auto f) { return f.text(); });
  readNullable(field, "title", event.title, [](auto f) { return f.text(); });
  readNullable(field, "start", event.start, [](auto f) { return f.timestamp(); });
  readNullable(field, "end", event.end, [](auto f) { return f.timestamp(); });
  readMember(field, "allDay", event.allDay, [](auto f) { return f.boolean(); });
  readMember(field, "stray", event.stray, [](auto f) { return f.boolean(); });
  return event;
}

// The calendar identifier of `field`, one of `known`.
template <std::size_t N>
std::string calendarNamed(const WorldField& field, const std::string_view (&known)[N]) {
  std::string name = field.text();
  if (std::find(std::begin(known), std::end(known), name) == std::end(known)) {
    field.fail("not a known calendar");
  }
  return name;
}

WorldDue readDue(const WorldField& field) {
  field.expectObject({"year", "month", "day", "hour", "minute", "second", "timeZone", "calendar"});
  WorldDue due;
  auto integer = [](auto f) { return f.integer(); };
  readMember(field, "year", due.year, integer);
  readMember(field, "month", due.month, integer);
  readMember(field, "day", due.day, integer);
  readMember(field, "hour", due.hour, integer);
  readMember(field, "minute", due.minute, integer);
  readMember(field, "second", due.second, integer);
  readMember(field, "timeZone", due.timeZone, [](auto f) { return f.timeZone(); });
  readMember(field, "calendar", due.calendar,
             [](auto f) { return calendarNamed(f, kDueCalendars); });
  return due;
}

WorldReminder readReminder(const WorldField& field) {
  field.expectObject({"list", "id", "title", "completed", "due", "priority", "stray"});
  WorldReminder reminder;
  reminder.id = field.required("id").text();
  readNullable(field, "list", reminder.list, [](auto f) { return f.text(); });
  readNullable(field, "title", reminder.title, [](auto f) { return f.text(); });
  readMember(field, "completed", reminder.completed, [](auto f) { return f.boolean(); });
  readNullable(field, "due", reminder.due, readDue);
  readMember(field, "priority", reminder.priority, [](auto f) { return f.integer(); });
  readMember(field, "stray", reminder.stray, [](auto f) { return f.boolean(); });
  return reminder;
}

WorldContainer readContainer(const WorldField& field) {
  field.expectObject({"id", "name"});
  WorldContainer container;
  container.id = field.required("id").text();
  readMember(field, "name", container.name, [](auto f) { return f.text(); });
  return container;
}

WorldContact readContact(const WorldField& field) {
  field.expectObject(
      {"container", "id", "givenName", "familyName", "organizationName", "jobTitle"});
  WorldContact contact;
  contact.container = field.required("container").text();
  contact.id = field.required("id").text();
  auto text = [](auto f) { return f.text(); };
  readMember(field, "givenName", contact.givenName, text);
  readMember(field, "familyName", contact.familyName, text);
  readMember(field, "organizationName", contact.organizationName, text);
  readMember(field, "jobTitle", contact.jobTitle, text);
  return contact;
}

WorldChange readChange(const WorldField& field) {
  field.expectObject({"afterSeconds", "store"});
  WorldChange change;
  readMember(field, "afterSeconds", change.afterSeconds, [](auto f) { return f.seconds(); });
  WorldField store = field.required("store");
  std::string name = store.text();
  if (name != "events" && name != "contacts") store.fail("not \"events\" or \"contacts\"");
  change.store = name == "events" ? WorldChange::Store::events : WorldChange::Store::contacts;
  return change;
}

template <typename T, typename Read>
void readList(const WorldField& object, std::string_view key, std::vector<T>& out, Read read) {
  if (auto field = object.member(key)) {
    for (const WorldField& element : field->elements()) out.push_back(read(element));
  }
}

void readDelays(const WorldField& field, WorldFaults& faults) {
  field.expectObject({"calendars", "events", "reminders", "containers", "contacts"});
  auto seconds = [](auto f) { return f.seconds(); };
  readMember(field, "calendars", faults.calendarsDelay, seconds);
  readMember(field, "events", faults.eventsDelay, seconds);
  readMember(field, "reminders", faults.remindersDelay, seconds);
  readMember(field, "containers", faults.containersDelay, seconds);
  readMember(field, "contacts", faults.contactsDelay, seconds);
}

WorldFaults readFaults(const WorldField& field) {
  field.expectObject({"delaySeconds", "itemDelaySeconds", "containersError", "contactsErrorIn",
                      "remindersFetchFails", "remindersFetchNeverCompletes", "revokeDuring",
                      "changes", "throwsIn"});
  WorldFaults faults;
  if (auto delays = field.member("delaySeconds")) readDelays(*delays, faults);
  readMember(field, "itemDelaySeconds", faults.itemDelaySeconds,
             [](auto f) { return f.seconds(); });
  auto boolean = [](auto f) { return f.boolean(); };
  readMember(field, "containersError", faults.containersError, boolean);
  readList(field, "contactsErrorIn", faults.contactsErrorIn, [](auto f) { return f.text(); });
  readMember(field, "remindersFetchFails", faults.remindersFetchFails, boolean);
  readMember(field, "remindersFetchNeverCompletes", faults.remindersFetchNeverCompletes, boolean);
  readList(field, "revokeDuring", faults.revokeDuring, entityNamed);
  readList(field, "changes", faults.changes, readChange);
  readList(field, "throwsIn", faults.throwsIn, [](auto f) {
    std::string name = f.text();
    if (name != "access" && name != "calendars" && name != "events" && name != "reminders" &&
        name != "containers" && name != "contacts") {
      f.fail("not a service operation");
    }
    return name;
  });
  return faults;
}

World readWorld(const WorldField& root) {
  root.expectObject({"authorization", "accessRequests", "timeZone", "calendar", "calendars",
                     "events", "reminders", "containers", "contacts", "faults"});
  World world;
  if (auto field = root.member("authorization")) readAuthorization(*field, world.authorization);
  if (auto field = root.member("accessRequests")) {
    readAccessRequests(*field, world.accessRequests);
  }
  readMember(root, "timeZone", world.timeZone, [](auto f) { return f.timeZone(); });
  readMember(root, "calendar", world.calendar,
             [](auto f) { return calendarNamed(f, kSystemCalendars); });
  readList(root, "calendars", world.calendars, readCalendar);
  readList(root, "events", world.events, readEvent);
  readList(root, "reminders", world.reminders, readReminder);
  readList(root, "containers", world.containers, readContainer);
  readList(root, "contacts", world.contacts, readContact);
  readMember(root, "faults", world.faults, readFaults);
  return world;
}

// The text after the library's "[json.exception.parse_error.101] " tag.
std::string syntaxProblem(const json::exception& error) {
  std::string what = error.what();
  std::size_t tagEnd = what.find("] ");
  if (what.rfind("[json.exception.", 0) == 0 && tagEnd != std::string::npos) {
    what = what.substr(tagEnd + 2);
  }
  return "not valid JSON: " + what;
}

}  // namespace

std::variant<World, std::string> parseWorld(std::string_view text) {
  json document;
  try {
    document = json::parse(text);
  } catch (const json::exception& error) {
    return syntaxProblem(error);
  }
  try {
    return readWorld(WorldField(document, ""));
  } catch (const WorldProblem& problem) {
    return problem.message;
  }
}

std::variant<World, std::string> loadWorldFile(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) return path + ": cannot open: " + std::strerror(errno);
  std::string text;
  char buffer[65536];
  std::size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, count);
  if (std::ferror(file.get())) return path + ": cannot read: " + std::strerror(errno);
  std::variant<World, std::string> result = parseWorld(text);
  if (auto* problem = std::get_if<std::string>(&result)) return path + ": " + *problem;
  return result;
}

}  // namespace pemrix::platform
