// CalendarReader: collections by content type, events and to-dos read per collection and
// handed to the visitor once every collection was read.
#include "platform/akonadi/calendar_reader.h"

#include <algorithm>

#include "platform/akonadi/qt_thread.h"
#include "platform/akonadi/records.h"

namespace pemrix::platform::akonadi {

namespace {

Content contentOf(CalendarEntityType type) {
  return type == CalendarEntityType::events ? Content::events : Content::todos;
}

template <typename Record, typename Visitor>
void visitAll(const std::vector<Record>& records, const Visitor& visitor) {
  for (const Record& record : records) {
    bool stop = false;
    visitor(record, stop);
    if (stop) break;
  }
}

}  // namespace

Status CalendarReader::calendars(CalendarEntityType type, std::vector<CalendarInfo>* out) {
  return statusOf([&] {
    for (const Akonadi::Collection& collection : client_.collections(contentOf(type))) {
      out->push_back({std::to_string(collection.id()), collection.displayName().toStdString()});
    }
  });
}

Status CalendarReader::enumerateEvents(TimeWindow window,
                                       const std::vector<std::string>& calendarIds,
                                       const EventVisitor& visitor) {
  std::vector<EventRecord> events;
  Status read = statusOf([&] {
    for (const std::string& id : calendarIds) {
      appendEvents(client_.items(id, Content::events), id, window, events);
    }
  });
  if (!read.ok()) return read;
  std::stable_sort(events.begin(), events.end(),
                   [](const EventRecord& a, const EventRecord& b) { return *a.start < *b.start; });
  visitAll(events, visitor);
  return Status();
}

Status CalendarReader::enumerateIncompleteReminders(TimeWindow window,
                                                    const std::vector<std::string>& listIds,
                                                    const ReminderVisitor& visitor) {
  std::vector<ReminderRecord> reminders;
  Status read = statusOf([&] {
    for (const std::string& id : listIds) {
      appendIncompleteTodos(client_.items(id, Content::todos), id, window, reminders);
    }
  });
  if (!read.ok()) return read;
  visitAll(reminders, visitor);
  return Status();
}

ObserverToken CalendarReader::observe(std::function<void()> onChange) {
  return client_.observe(false, std::move(onChange));
}

void CalendarReader::endAccessRequest(AccessCompletion completion) {
  QtThread::instance().post([completion = std::move(completion)] { completion(Status()); });
}

}  // namespace pemrix::platform::akonadi
