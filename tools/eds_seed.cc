// pemrix-eds-seed: loads a simulator world file into the running EDS of the current session
// bus (tools/eds-session.sh starts a private one), with the world's own identifiers:
// calendars, task lists and address books get the world's source UIDs, events, tasks and
// contacts the world's item UIDs. What a real store cannot hold (faults, strays, items
// without a calendar or start, authorisation states other than full access) is skipped
// with one line on stderr per kind. EDS's own built-in sources are disabled so that the
// store lists the world's sources only.
//
//   pemrix-eds-seed WORLD.json               seed the world
//   pemrix-eds-seed --zone WORLD.json        print the world's time zone
//   pemrix-eds-seed --demo-world             print the demonstration world as a world file
//   pemrix-eds-seed --add-event SOURCE UID   add a one-hour event starting now
//   pemrix-eds-seed --bulk SOURCE-KIND SOURCE COUNT   add COUNT generated items to a new
//                                            source (kinds: events, contacts), for benchmarks
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include <libebook/libebook.h>
#include <libecal/libecal.h>
#include <libedataserver/libedataserver.h>
#include <nlohmann/json.hpp>

#include "sim/world.h"

namespace {

using pemrix::Instant;
using namespace pemrix::platform;

[[noreturn]] void die(const std::string& what, GError* error = nullptr) {
  std::fprintf(stderr, "pemrix-eds-seed: %s%s%s\n", what.c_str(), error ? ": " : "",
               error ? error->message : "");
  std::exit(1);
}

void skipped(const std::string& what) {
  std::fprintf(stderr, "pemrix-eds-seed: skipped %s (the simulator only)\n", what.c_str());
}

std::string utcText(Instant instant, bool basic) {
  auto seconds = std::chrono::floor<std::chrono::seconds>(instant);
  auto day = std::chrono::floor<std::chrono::days>(seconds);
  std::chrono::year_month_day date(day);
  std::chrono::hh_mm_ss<std::chrono::seconds> time(seconds - day);
  char text[40];
  std::snprintf(text, sizeof text,
                basic ? "%04d%02u%02uT%02ld%02ld%02ldZ" : "%04d-%02u-%02uT%02ld:%02ld:%02ldZ",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<long>(time.hours().count()),
                static_cast<long>(time.minutes().count()),
                static_cast<long>(time.seconds().count()));
  return text;
}

// iCalendar text escaping for SUMMARY.
std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == ';' || c == ',') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out;
}

// The local date of `instant` in `zone` when it is local midnight there, else nothing.
std::optional<std::string> midnightDate(Instant instant, icaltimezone* zone) {
  auto seconds = static_cast<time_t>(
      std::chrono::floor<std::chrono::seconds>(instant).time_since_epoch().count());
  icaltimetype local = icaltime_from_timet_with_zone(seconds, 0, zone);
  if (local.hour != 0 || local.minute != 0 || local.second != 0) return std::nullopt;
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02d%02d", local.year, local.month, local.day);
  return std::string(text);
}

icaltimezone* zoneNamed(const std::string& name) {
  if (name == "UTC") return icaltimezone_get_utc_timezone();
  icaltimezone* zone = icaltimezone_get_builtin_timezone(name.c_str());
  if (zone == nullptr) die("unknown time zone " + name);
  return zone;
}

class Store {
 public:
  Store() {
    GError* error = nullptr;
    registry_ = e_source_registry_new_sync(nullptr, &error);
    if (registry_ == nullptr) die("cannot reach the source registry", error);
  }

  // Disables EDS's own sources (system calendar, task list, address book, birthdays).
  void disableBuiltins() {
    for (const char* extension : {E_SOURCE_EXTENSION_CALENDAR, E_SOURCE_EXTENSION_TASK_LIST,
                                  E_SOURCE_EXTENSION_ADDRESS_BOOK}) {
      GList* sources = e_source_registry_list_enabled(registry_, extension);
      for (GList* item = sources; item != nullptr; item = item->next) {
        ESource* source = E_SOURCE(item->data);
        e_source_set_enabled(source, FALSE);
        GError* error = nullptr;
        if (!e_source_write_sync(source, nullptr, &error)) die("cannot disable a source", error);
      }
      g_list_free_full(sources, g_object_unref);
    }
  }

  ESource* addSource(const std::string& uid, const std::string& title, const char* extension) {
    GError* error = nullptr;
    ESource* source = e_source_new_with_uid(uid.c_str(), nullptr, &error);
    if (source == nullptr) die("cannot make source " + uid, error);
    e_source_set_parent(source, "local-stub");
    e_source_set_display_name(source, title.c_str());
    e_source_backend_set_backend_name(E_SOURCE_BACKEND(e_source_get_extension(source, extension)),
                                      "local");
    if (!e_source_registry_commit_source_sync(registry_, source, nullptr, &error)) {
      die("cannot add source " + uid, error);
    }
    g_object_unref(source);
    // The registry's own object, once it has announced it.
    for (int i = 0; i < 200; ++i) {
      if (ESource* added = e_source_registry_ref_source(registry_, uid.c_str())) return added;
      g_main_context_iteration(nullptr, FALSE);
      g_usleep(5000);
    }
    die("source " + uid + " did not appear");
  }

  ECalClient* calendar(const std::string& uid, ECalClientSourceType type) {
    auto found = calendars_.find(uid);
    if (found != calendars_.end()) return found->second;
    ESource* source = e_source_registry_ref_source(registry_, uid.c_str());
    if (source == nullptr) die("no source " + uid);
    GError* error = nullptr;
    EClient* client =
        e_cal_client_connect_sync(source, type, static_cast<guint32>(-1), nullptr, &error);
    g_object_unref(source);
    if (client == nullptr) die("cannot open " + uid, error);
    return calendars_[uid] = E_CAL_CLIENT(client);
  }

  EBookClient* book(const std::string& uid) {
    auto found = books_.find(uid);
    if (found != books_.end()) return found->second;
    ESource* source = e_source_registry_ref_source(registry_, uid.c_str());
    if (source == nullptr) die("no address book " + uid);
    GError* error = nullptr;
    EClient* client = e_book_client_connect_sync(source, static_cast<guint32>(-1), nullptr, &error);
    g_object_unref(source);
    if (client == nullptr) die("cannot open " + uid, error);
    return books_[uid] = E_BOOK_CLIENT(client);
  }

  void addComponents(ECalClient* client, const std::vector<std::string>& texts) {
    GSList* list = nullptr;
    for (const std::string& text : texts) {
      ICalComponent* component = i_cal_component_new_from_string(text.c_str());
      if (component == nullptr) die("cannot read component " + text);
      list = g_slist_prepend(list, component);
    }
    list = g_slist_reverse(list);
    GError* error = nullptr;
    for (GSList* step = list; step != nullptr;) {
      GSList* batch = nullptr;
      for (int n = 0; step != nullptr && n < 500; ++n, step = step->next) {
        batch = g_slist_append(batch, step->data);
      }
      if (!e_cal_client_create_objects_sync(client, batch, E_CAL_OPERATION_FLAG_NONE, nullptr,
                                            nullptr, &error)) {
        die("cannot add components", error);
      }
      g_slist_free(batch);
    }
    g_slist_free_full(list, g_object_unref);
  }

  void addZone(ECalClient* client, icaltimezone* zone) {
    ICalTimezone* wrapped = i_cal_timezone_get_builtin_timezone(icaltimezone_get_location(zone));
    GError* error = nullptr;
    if (wrapped != nullptr && !e_cal_client_add_timezone_sync(client, wrapped, nullptr, &error)) {
      die("cannot add a time zone", error);
    }
  }

  void addContacts(EBookClient* client, GSList* contacts) {
    GError* error = nullptr;
    for (GSList* step = contacts; step != nullptr;) {
      GSList* batch = nullptr;
      for (int n = 0; step != nullptr && n < 500; ++n, step = step->next) {
        batch = g_slist_append(batch, step->data);
      }
      if (!e_book_client_add_contacts_sync(client, batch, E_BOOK_OPERATION_FLAG_NONE, nullptr,
                                           nullptr, &error)) {
        die("cannot add contacts", error);
      }
      g_slist_free(batch);
    }
    g_slist_free_full(contacts, g_object_unref);
  }

 private:
  ESourceRegistry* registry_ = nullptr;
  std::map<std::string, ECalClient*> calendars_;
  std::map<std::string, EBookClient*> books_;
};

std::string vevent(const std::string& uid, const std::optional<std::string>& title,
                   const std::string& start, const std::string& end,
                   const std::vector<std::string>& extra = {}) {
  std::string text = "BEGIN:VEVENT\r\nUID:" + uid + "\r\nDTSTAMP:20240101T000000Z\r\n";
  if (title) text += "SUMMARY:" + escaped(*title) + "\r\n";
  text += start + "\r\n" + end + "\r\n";
  for (const std::string& line : extra) text += line + "\r\n";
  return text + "END:VEVENT\r\n";
}

// DTSTART and DTEND lines: DATE values for all-day events that start and end at midnight
// in the world's zone, UTC date-times otherwise.
std::pair<std::string, std::string> eventTimes(const WorldEvent& event, icaltimezone* zone) {
  if (event.allDay) {
    auto start = midnightDate(*event.start, zone), end = midnightDate(*event.end, zone);
    if (start && end) return {"DTSTART;VALUE=DATE:" + *start, "DTEND;VALUE=DATE:" + *end};
  }
  return {"DTSTART:" + utcText(*event.start, true), "DTEND:" + utcText(*event.end, true)};
}

void seedEvents(Store& store, const World& world, icaltimezone* zone) {
  // Events sharing one UID in one calendar become one series: the first with an RDATE for
  // each other start (they must last as long as the first).
  std::map<std::pair<std::string, std::string>, std::vector<const WorldEvent*>> series;
  std::vector<std::pair<std::string, std::string>> order;
  for (const WorldEvent& event : world.events) {
    if (event.stray) {
      skipped("stray event " + event.id);
      continue;
    }
    if (!event.calendar || !event.start || !event.end) {
      skipped("event " + event.id + " without calendar, start or end");
      continue;
    }
    auto key = std::make_pair(*event.calendar, event.id);
    if (series[key].empty()) order.push_back(key);
    series[key].push_back(&event);
  }
  std::map<std::string, std::vector<std::string>> byCalendar;
  for (const auto& key : order) {
    const std::vector<const WorldEvent*>& events = series[key];
    const WorldEvent& first = *events.front();
    auto [start, end] = eventTimes(first, zone);
    std::vector<std::string> extra;
    for (std::size_t i = 1; i < events.size(); ++i) {
      const WorldEvent& other = *events[i];
      if (*other.end - *other.start != *first.end - *first.start || other.allDay != first.allDay) {
        skipped("event " + other.id + " repeated with another length");
        continue;
      }
      std::string otherStart = eventTimes(other, zone).first;
      extra.push_back("RDATE" + otherStart.substr(std::strlen("DTSTART")));
    }
    byCalendar[key.first].push_back(vevent(first.id, first.title, start, end, extra));
  }
  for (const auto& [calendar, texts] : byCalendar) {
    store.addComponents(store.calendar(calendar, E_CAL_CLIENT_SOURCE_TYPE_EVENTS), texts);
  }
}

std::optional<std::string> dueLine(const WorldDue& due, const std::string& id, Store& store,
                                   ECalClient* client) {
  if (!due.year || !due.month || !due.day || *due.month < 1 || *due.month > 12 || *due.day < 1 ||
      *due.day > 31 || *due.year < 1 || *due.year > 9999) {
    skipped("due date of reminder " + id + " outside the calendar's range");
    return std::nullopt;
  }
  char date[16];
  std::snprintf(date, sizeof date, "%04d%02d%02d", static_cast<int>(*due.year),
                static_cast<int>(*due.month), static_cast<int>(*due.day));
  if (!due.hour && !due.minute && !due.second && !due.timeZone) {
    return std::string("DUE;VALUE=DATE:") + date;
  }
  char time[16];
  std::snprintf(time, sizeof time, "T%02d%02d%02d", static_cast<int>(due.hour.value_or(0)),
                static_cast<int>(due.minute.value_or(0)), static_cast<int>(due.second.value_or(0)));
  if (!due.timeZone) return std::string("DUE:") + date + time;
  if (*due.timeZone == "UTC") return std::string("DUE:") + date + time + "Z";
  icaltimezone* zone = zoneNamed(*due.timeZone);
  store.addZone(client, zone);
  return std::string("DUE;TZID=") + icaltimezone_get_tzid(zone) + ":" + date + time;
}

void seedReminders(Store& store, const World& world) {
  std::map<std::string, std::vector<std::string>> byList;
  for (const WorldReminder& reminder : world.reminders) {
    if (reminder.stray) {
      skipped("stray reminder " + reminder.id);
      continue;
    }
    if (!reminder.list) {
      skipped("reminder " + reminder.id + " without a list");
      continue;
    }
    ECalClient* client = store.calendar(*reminder.list, E_CAL_CLIENT_SOURCE_TYPE_TASKS);
    std::string text = "BEGIN:VTODO\r\nUID:" + reminder.id + "\r\nDTSTAMP:20240101T000000Z\r\n";
    if (reminder.title) text += "SUMMARY:" + escaped(*reminder.title) + "\r\n";
    if (reminder.due) {
      auto line = dueLine(*reminder.due, reminder.id, store, client);
      if (!line) continue;
      text += *line + "\r\n";
    }
    if (reminder.completed) text += "STATUS:COMPLETED\r\nCOMPLETED:20240101T000000Z\r\n";
    if (reminder.priority >= 0 && reminder.priority <= 9) {
      text += "PRIORITY:" + std::to_string(reminder.priority) + "\r\n";
    } else {
      skipped("priority of reminder " + reminder.id + " outside 0 to 9");
    }
    byList[*reminder.list].push_back(text + "END:VTODO\r\n");
  }
  for (const auto& [list, texts] : byList) {
    store.addComponents(store.calendar(list, E_CAL_CLIENT_SOURCE_TYPE_TASKS), texts);
  }
}

EContact* contactOf(const std::string& id, const std::string& given, const std::string& family,
                    const std::string& organization, const std::string& job) {
  EContact* contact = e_contact_new();
  e_contact_set(contact, E_CONTACT_UID, id.c_str());
  EContactName* name = e_contact_name_new();
  name->given = g_strdup(given.c_str());
  name->family = g_strdup(family.c_str());
  e_contact_set(contact, E_CONTACT_NAME, name);
  e_contact_name_free(name);
  std::string full = given + (given.empty() || family.empty() ? "" : " ") + family;
  if (!full.empty()) e_contact_set(contact, E_CONTACT_FULL_NAME, full.c_str());
  if (!organization.empty()) e_contact_set(contact, E_CONTACT_ORG, organization.c_str());
  if (!job.empty()) e_contact_set(contact, E_CONTACT_TITLE, job.c_str());
  return contact;
}

void seedContacts(Store& store, const World& world) {
  std::map<std::string, GSList*> byBook;
  for (const WorldContact& contact : world.contacts) {
    GSList*& list = byBook[contact.container];
    list = g_slist_prepend(list, contactOf(contact.id, contact.givenName, contact.familyName,
                                           contact.organizationName, contact.jobTitle));
  }
  for (auto& [book, list] : byBook) store.addContacts(store.book(book), g_slist_reverse(list));
}

void checkSimulatorOnly(const World& world) {
  for (std::size_t i = 0; i < world.authorization.size(); ++i) {
    if (world.authorization[i] != Authorization::fullAccess)
      skipped("authorisation state other than full access");
  }
  const WorldFaults& f = world.faults;
  if (f.calendarsDelay || f.eventsDelay || f.remindersDelay || f.containersDelay ||
      f.contactsDelay || f.itemDelaySeconds || f.containersError || !f.contactsErrorIn.empty() ||
      f.remindersFetchFails || f.remindersFetchNeverCompletes || !f.revokeDuring.empty() ||
      !f.changes.empty()) {
    skipped("faults");
  }
}

World loadOrDie(const char* path) {
  auto loaded = loadWorldFile(path);
  if (auto* problem = std::get_if<std::string>(&loaded)) die(*problem);
  return std::get<World>(std::move(loaded));
}

void seed(const World& world) {
  checkSimulatorOnly(world);
  icaltimezone* zone = zoneNamed(world.timeZone);
  Store store;
  store.disableBuiltins();
  for (const WorldCalendar& calendar : world.calendars) {
    bool events = calendar.entityType == CalendarEntityType::events;
    g_object_unref(
        store.addSource(calendar.id, calendar.title,
                        events ? E_SOURCE_EXTENSION_CALENDAR : E_SOURCE_EXTENSION_TASK_LIST));
  }
  for (const WorldContainer& container : world.containers) {
    g_object_unref(store.addSource(container.id, container.name, E_SOURCE_EXTENSION_ADDRESS_BOOK));
  }
  seedEvents(store, world, zone);
  seedReminders(store, world);
  seedContacts(store, world);
}

nlohmann::json worldJson(const World& world) {
  using nlohmann::json;
  json out = {{"timeZone", world.timeZone}};
  json& calendars = out["calendars"] = json::array();
  for (const auto& c : world.calendars) {
    calendars.push_back(
        {{"id", c.id},
         {"title", c.title},
         {"entityType", c.entityType == CalendarEntityType::events ? "events" : "reminders"}});
  }
  json& events = out["events"] = json::array();
  for (const auto& e : world.events) {
    events.push_back({{"calendar", *e.calendar},
                      {"id", e.id},
                      {"title", *e.title},
                      {"start", utcText(*e.start, false)},
                      {"end", utcText(*e.end, false)},
                      {"allDay", e.allDay}});
  }
  json& reminders = out["reminders"] = json::array();
  for (const auto& r : world.reminders) {
    json due = {{"year", *r.due->year}, {"month", *r.due->month}, {"day", *r.due->day}};
    if (r.due->hour) due["hour"] = *r.due->hour;
    if (r.due->minute) due["minute"] = *r.due->minute;
    reminders.push_back({{"list", *r.list},
                         {"id", r.id},
                         {"title", *r.title},
                         {"completed", r.completed},
                         {"priority", r.priority},
                         {"due", due}});
  }
  json& containers = out["containers"] = json::array();
  for (const auto& c : world.containers) containers.push_back({{"id", c.id}, {"name", c.name}});
  json& contacts = out["contacts"] = json::array();
  for (const auto& c : world.contacts) {
    contacts.push_back({{"container", c.container},
                        {"id", c.id},
                        {"givenName", c.givenName},
                        {"familyName", c.familyName},
                        {"organizationName", c.organizationName},
                        {"jobTitle", c.jobTitle}});
  }
  return out;
}

void addEventNow(const std::string& source, const std::string& uid) {
  Store store;
  Instant now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
  store.addComponents(store.calendar(source, E_CAL_CLIENT_SOURCE_TYPE_EVENTS),
                      {vevent(uid, "Added by another process", "DTSTART:" + utcText(now, true),
                              "DTEND:" + utcText(now + std::chrono::hours(1), true))});
}

// Generated items for benchmarks: COUNT events over the 90 days from the start of the
// current UTC day, or COUNT contacts, in a new source SOURCE.
void bulk(const std::string& kind, const std::string& source, int count) {
  Store store;
  if (kind == "events") {
    g_object_unref(store.addSource(source, source, E_SOURCE_EXTENSION_CALENDAR));
    Instant day = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i) {
      Instant start = day + std::chrono::minutes(static_cast<int64_t>(i) * 90 * 24 * 60 / count);
      texts.push_back(vevent(source + "-" + std::to_string(i), "Event " + std::to_string(i),
                             "DTSTART:" + utcText(start, true),
                             "DTEND:" + utcText(start + std::chrono::minutes(30), true)));
    }
    store.addComponents(store.calendar(source, E_CAL_CLIENT_SOURCE_TYPE_EVENTS), texts);
  } else if (kind == "contacts") {
    g_object_unref(store.addSource(source, source, E_SOURCE_EXTENSION_ADDRESS_BOOK));
    GSList* contacts = nullptr;
    for (int i = 0; i < count; ++i) {
      std::string n = std::to_string(i);
      contacts = g_slist_prepend(contacts, contactOf(source + "-" + n, "Given" + n, "Family" + n,
                                                     "Organisation " + n, "Job " + n));
    }
    store.addContacts(store.book(source), g_slist_reverse(contacts));
  } else {
    die("unknown kind " + kind);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "--demo-world") {
    std::printf("%s\n", worldJson(demoWorld(std::chrono::floor<std::chrono::seconds>(
                                      std::chrono::system_clock::now())))
                            .dump(2)
                            .c_str());
  } else if (args.size() == 2 && args[0] == "--zone") {
    std::printf("%s\n", loadOrDie(args[1].c_str()).timeZone.c_str());
  } else if (args.size() == 3 && args[0] == "--add-event") {
    addEventNow(args[1], args[2]);
  } else if (args.size() == 4 && args[0] == "--bulk") {
    bulk(args[1], args[2], std::stoi(args[3]));
  } else if (args.size() == 1 && args[0][0] != '-') {
    seed(loadOrDie(args[0].c_str()));
  } else {
    std::fprintf(stderr,
                 "usage: pemrix-eds-seed WORLD.json | --zone WORLD.json | --demo-world |\n"
                 "       --add-event SOURCE UID | --bulk events|contacts SOURCE COUNT\n");
    return 64;
  }
  return 0;
}
