// Events and to-dos of one collection as the calendar store's records. Events are grouped
// into series by UID (the master and its moved occurrences are separate items).
#include "platform/akonadi/records.h"

#include <algorithm>
#include <map>

#include <KCalendarCore/Event>
#include <KCalendarCore/Todo>

#include "platform/akonadi/occurrences.h"

namespace pemrix::platform::akonadi {

namespace {

std::optional<std::string> titleOf(const KCalendarCore::Incidence& incidence) {
  const QString summary = incidence.summary();
  if (summary.isNull()) return std::nullopt;
  return summary.toStdString();
}

// The events of one UID: the master, when present, and its moved occurrences.
struct Series {
  const KCalendarCore::Event* master = nullptr;
  std::vector<const KCalendarCore::Event*> moved;
};

}  // namespace

void appendEvents(const Akonadi::Item::List& items, const std::string& calendarId,
                  TimeWindow window, std::vector<EventRecord>& out) {
  std::vector<KCalendarCore::Event::Ptr> events;  // keeps the payloads alive
  std::map<std::string, Series> series;
  for (const Akonadi::Item& item : items) {
    if (!item.hasPayload<KCalendarCore::Event::Ptr>()) continue;
    KCalendarCore::Event::Ptr event = item.payload<KCalendarCore::Event::Ptr>();
    if (!event) continue;
    events.push_back(event);
    Series& one = series[event->uid().toStdString()];
    if (event->hasRecurrenceId()) {
      one.moved.push_back(event.data());
    } else {
      one.master = event.data();
    }
  }
  std::vector<EventRecord> found;
  for (const auto& [uid, one] : series) {
    for (const Occurrence& occurrence : occurrencesIn(one.master, one.moved, window)) {
      found.push_back(EventRecord{calendarId, occurrence.start, occurrence.end, uid,
                                  titleOf(*occurrence.event), occurrence.allDay});
    }
  }
  std::sort(found.begin(), found.end(), [](const EventRecord& a, const EventRecord& b) {
    if (*a.start != *b.start) return *a.start < *b.start;
    return a.itemIdentifier < b.itemIdentifier;
  });
  out.insert(out.end(), std::make_move_iterator(found.begin()),
             std::make_move_iterator(found.end()));
}

void appendIncompleteTodos(const Akonadi::Item::List& items, const std::string& listId,
                           TimeWindow window, std::vector<ReminderRecord>& out) {
  for (const Akonadi::Item& item : items) {
    if (!item.hasPayload<KCalendarCore::Todo::Ptr>()) continue;
    KCalendarCore::Todo::Ptr todo = item.payload<KCalendarCore::Todo::Ptr>();
    if (!todo || todo->isCompleted()) continue;
    std::optional<Instant> due = dueOf(*todo);
    if (!due || !window.contains(*due)) continue;
    ReminderRecord record;
    record.calendarIdentifier = listId;
    record.itemIdentifier = todo->uid().toStdString();
    record.title = titleOf(*todo);
    record.due = due;
    record.priority = todo->priority();
    out.push_back(std::move(record));
  }
}

}  // namespace pemrix::platform::akonadi
