// Events and tasks of one calendar client. Events: one query for every component that
// recurs (masters and detached occurrences, which EDS does not expand for this test) and
// every other component in the widened window; each series is expanded by occurrencesIn,
// and everything is tested exactly against the window.
#include "platform/eds/events_and_tasks.h"

#include <algorithm>
#include <map>
#include <memory>

#include "common/timestamp.h"
#include "platform/eds/glib_error.h"
#include "platform/eds/occurrences.h"
#include "platform/eds/windows_zones.h"
#include "platform/time_window.h"

namespace pemrix::platform::eds {

namespace {

// Owns a list of ECalComponent.
struct ComponentList {
  GSList* list = nullptr;
  ~ComponentList() { g_slist_free_full(list, g_object_unref); }
};

icalcomponent* nativeOf(ECalComponent* component) {
  ICalComponent* wrapped = e_cal_component_get_icalcomponent(component);
  return static_cast<icalcomponent*>(i_cal_object_get_native(I_CAL_OBJECT(wrapped)));
}

// The zone a VTIMEZONE stored with the calendar defines under `tzid`.
icaltimezone* storedZone(ECalClient* client, const char* tzid) {
  ICalTimezone* zone = nullptr;
  if (!e_cal_client_get_timezone_sync(client, tzid, &zone, nullptr, nullptr) || !zone) {
    return nullptr;
  }
  return static_cast<icaltimezone*>(i_cal_object_get_native(I_CAL_OBJECT(zone)));
}

// A TZID names a zone of the time-zone database, a zone stored with the calendar, or a
// Windows zone. Any other name is read as UTC, as EDS reads it (and as its local calendars
// rewrite it when an event is written). Each name is looked up once per query.
ZoneLookup zonesOf(ECalClient* client) {
  auto known = std::make_shared<std::map<std::string, icaltimezone*>>();
  return [client, known](const char* tzid) -> icaltimezone* {
    if (tzid == nullptr) return nullptr;
    auto found = known->find(tzid);
    if (found != known->end()) return found->second;
    icaltimezone* zone = builtinZone(tzid);
    if (zone == nullptr) zone = storedZone(client, tzid);
    if (zone == nullptr) {
      std::optional<std::string> iana = ianaNameOfWindowsZone(tzid);
      if (iana) zone = builtinZone(iana->c_str());
    }
    if (zone == nullptr) zone = icaltimezone_get_utc_timezone();
    return known->emplace(tzid, zone).first->second;
  };
}

std::string makeTime(Instant instant) {
  auto seconds = std::chrono::floor<std::chrono::seconds>(instant);
  auto day = std::chrono::floor<std::chrono::days>(seconds);
  std::chrono::year_month_day date(day);
  std::chrono::hh_mm_ss<std::chrono::seconds> time(seconds - day);
  char text[32];
  std::snprintf(text, sizeof text, "%04d%02u%02uT%02ld%02ld%02ldZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<long>(time.hours().count()), static_cast<long>(time.minutes().count()),
                static_cast<long>(time.seconds().count()));
  return std::string("(make-time \"") + text + "\")";
}

// Whether `component` belongs to a series: it repeats, or it is a detached occurrence of one.
bool inSeries(icalcomponent* component) {
  return recurs(component) ||
         icalcomponent_get_first_property(component, ICAL_RECURRENCEID_PROPERTY) != nullptr;
}

std::optional<std::string> summaryOf(icalcomponent* component) {
  if (icalcomponent_get_first_property(component, ICAL_SUMMARY_PROPERTY) == nullptr) {
    return std::nullopt;
  }
  const char* summary = icalcomponent_get_summary(component);
  return summary != nullptr ? std::optional<std::string>(summary) : std::nullopt;
}

EventRecord recordOf(const Occurrence& occurrence, const std::string& sourceId) {
  const char* uid = icalcomponent_get_uid(occurrence.component);
  return EventRecord{sourceId,
                     occurrence.start,
                     occurrence.end,
                     uid != nullptr ? uid : "",
                     summaryOf(occurrence.component),
                     occurrence.allDay};
}

// The components of one series: its master, when found, and its detached occurrences.
struct Series {
  icalcomponent* master = nullptr;
  std::vector<icalcomponent*> detached;
};

void addToSeries(std::map<std::string, Series>& series, icalcomponent* component,
                 const std::string& uid) {
  Series& one = series[uid];
  if (icalcomponent_get_first_property(component, ICAL_RECURRENCEID_PROPERTY) != nullptr) {
    one.detached.push_back(component);
  } else {
    one.master = component;
  }
}

}  // namespace

std::string windowExpression(const char* function, Instant from, Instant to) {
  const TimeWindow widened = TimeWindow{from, to}.widened();
  Instant earliest = std::max(widened.start, kEarliestTimestamp);
  Instant latest = std::min(widened.end, kLatestTimestamp);
  return std::string("(") + function + " " + makeTime(earliest) + " " + makeTime(latest) + ")";
}

std::string eventsExpression(Instant from, Instant to) {
  return "(or (has-recurrences?) " + windowExpression("occur-in-time-range?", from, to) + ")";
}

void appendEvents(ECalClient* client, const std::string& sourceId, Instant from, Instant to,
                  std::vector<EventRecord>& out) {
  ComponentList found;
  GError* error = nullptr;
  std::string query = eventsExpression(from, to);
  if (!e_cal_client_get_object_list_as_comps_sync(client, query.c_str(), &found.list, nullptr,
                                                  &error)) {
    throw takeError(error, "the calendar failed");
  }
  ZoneLookup lookup = zonesOf(client);
  std::vector<EventRecord> events;
  std::map<std::string, Series> series;
  for (GSList* item = found.list; item != nullptr; item = item->next) {
    icalcomponent* component = nativeOf(E_CAL_COMPONENT(item->data));
    const char* uid = icalcomponent_get_uid(component);
    if (uid == nullptr) continue;
    if (inSeries(component)) {
      addToSeries(series, component, uid);
      continue;
    }
    std::optional<Occurrence> span = spanOf(component, lookup);
    if (span && overlaps(*span, from, to)) events.push_back(recordOf(*span, sourceId));
  }
  for (const auto& [uid, one] : series) {
    for (const Occurrence& occurrence : occurrencesIn(one.master, one.detached, from, to, lookup)) {
      events.push_back(recordOf(occurrence, sourceId));
    }
  }
  std::sort(events.begin(), events.end(), [](const EventRecord& a, const EventRecord& b) {
    if (*a.start != *b.start) return *a.start < *b.start;
    return a.itemIdentifier < b.itemIdentifier;
  });
  out.insert(out.end(), std::make_move_iterator(events.begin()),
             std::make_move_iterator(events.end()));
}

void sortByStart(std::vector<EventRecord>& events) {
  std::stable_sort(events.begin(), events.end(),
                   [](const EventRecord& a, const EventRecord& b) { return *a.start < *b.start; });
}

void appendIncompleteTasks(ECalClient* client, const std::string& sourceId, Instant from,
                           Instant to, std::vector<ReminderRecord>& out) {
  ComponentList found;
  GError* error = nullptr;
  std::string query =
      "(and (not (is-completed?)) " + windowExpression("due-in-time-range?", from, to) + ")";
  if (!e_cal_client_get_object_list_as_comps_sync(client, query.c_str(), &found.list, nullptr,
                                                  &error)) {
    throw takeError(error, "the calendar failed");
  }
  ZoneLookup lookup = zonesOf(client);
  for (GSList* item = found.list; item != nullptr; item = item->next) {
    icalcomponent* task = nativeOf(E_CAL_COMPONENT(item->data));
    const char* uid = icalcomponent_get_uid(task);
    ReminderRecord record;
    record.calendarIdentifier = sourceId;
    record.itemIdentifier = uid != nullptr ? uid : "";
    record.title = summaryOf(task);
    record.completed = icalcomponent_get_status(task) == ICAL_STATUS_COMPLETED ||
                       icalcomponent_get_first_property(task, ICAL_COMPLETED_PROPERTY) != nullptr;
    record.due = dueOf(task, lookup);
    if (!record.due || !TimeWindow{from, to}.contains(*record.due)) continue;
    if (icalproperty* priority = icalcomponent_get_first_property(task, ICAL_PRIORITY_PROPERTY)) {
      record.priority = icalproperty_get_priority(priority);
    }
    out.push_back(std::move(record));
  }
}

}  // namespace pemrix::platform::eds
