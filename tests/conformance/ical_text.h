// The conformance world's events and reminders as iCalendar text (VEVENT and VTODO
// components, CRLF lines), as another program would write them; shared by the writers of
// the backends that take iCalendar text.
#pragma once

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "conformance/backend.h"

namespace pemrix::conformance {

inline std::string basic(std::chrono::local_seconds local, bool dateOnly = false) {
  auto day = std::chrono::floor<std::chrono::days>(local);
  std::chrono::year_month_day date(day);
  std::chrono::hh_mm_ss<std::chrono::seconds> time(local - day);
  char text[32];
  std::snprintf(text, sizeof text, "%04d%02u%02u", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  std::string out = text;
  if (dateOnly) return out;
  std::snprintf(text, sizeof text, "T%02ld%02ld%02ld", static_cast<long>(time.hours().count()),
                static_cast<long>(time.minutes().count()),
                static_cast<long>(time.seconds().count()));
  return out + text;
}

// "NAME;TZID=zone:local", "NAME:localZ" for UTC, "NAME:local" when floating.
inline std::string timeProperty(const char* name, std::chrono::local_seconds local,
                                const std::optional<std::string>& zone) {
  if (!zone) return std::string(name) + ":" + basic(local) + "\r\n";
  if (*zone == "UTC") return std::string(name) + ":" + basic(local) + "Z\r\n";
  return std::string(name) + ";TZID=" + *zone + ":" + basic(local) + "\r\n";
}

inline std::string length(const Event& event) {
  if (event.days > 0) return "DURATION:P" + std::to_string(event.days) + "D\r\n";
  return "DURATION:PT" + std::to_string(event.length.count()) + "S\r\n";
}

inline std::string component(const char* kind, const std::string& body) {
  return std::string("BEGIN:") + kind + "\r\nDTSTAMP:20240101T000000Z\r\n" + body + "END:" + kind +
         "\r\n";
}

// The event as VEVENTs: the event (or series) first, then each moved occurrence.
inline std::vector<std::string> veventsOf(const Event& event) {
  std::string body = "UID:" + event.id + "\r\nSUMMARY:" + event.title + "\r\n";
  if (event.allDay) {
    auto day = std::chrono::floor<std::chrono::days>(event.start);
    body += "DTSTART;VALUE=DATE:" + basic(day, true) +
            "\r\nDTEND;VALUE=DATE:" + basic(day + std::chrono::days(event.days), true) + "\r\n";
  } else {
    body += timeProperty("DTSTART", event.start, event.zone) + length(event);
  }
  std::vector<std::string> out;
  if (!event.repeat) return {component("VEVENT", body)};
  body += std::string("RRULE:FREQ=") + (event.repeat->weekly ? "WEEKLY" : "DAILY") +
          ";COUNT=" + std::to_string(event.repeat->count) + "\r\n";
  for (auto excluded : event.repeat->excluded) body += timeProperty("EXDATE", excluded, event.zone);
  out.push_back(component("VEVENT", body));
  for (const Repeat::Moved& moved : event.repeat->moved) {
    out.push_back(
        component("VEVENT", "UID:" + event.id + "\r\nSUMMARY:" + moved.title + "\r\n" +
                                timeProperty("RECURRENCE-ID", moved.original, event.zone) +
                                timeProperty("DTSTART", moved.start, event.zone) + length(event)));
  }
  return out;
}

inline std::string vtodoOf(const Reminder& reminder) {
  std::string body = "UID:" + reminder.id + "\r\nSUMMARY:" + reminder.title + "\r\n";
  body += reminder.dateOnly ? "DUE;VALUE=DATE:" + basic(reminder.due, true) + "\r\n"
                            : timeProperty("DUE", reminder.due, reminder.zone);
  if (reminder.completed) body += "STATUS:COMPLETED\r\nCOMPLETED:20240101T000000Z\r\n";
  return component("VTODO", body);
}

}  // namespace pemrix::conformance
