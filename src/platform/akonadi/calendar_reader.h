// CalendarReader: the calendar store's work over Akonadi. Event calendars are the
// collections holding events, reminder lists those holding to-dos; identifiers are
// collection ids as text, titles their display names.
//
// Thread safety: Qt thread only, like the client it reads through.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/akonadi/store_client.h"
#include "platform/calendar_store.h"

namespace pemrix::platform::akonadi {

class CalendarReader {
 public:
  explicit CalendarReader(StoreClient& client) : client_(client) {}

  Status calendars(CalendarEntityType type, std::vector<CalendarInfo>* out);
  Status enumerateEvents(TimeWindow window, const std::vector<std::string>& calendarIds,
                         const EventVisitor& visitor);
  Status enumerateIncompleteReminders(TimeWindow window, const std::vector<std::string>& listIds,
                                      const ReminderVisitor& visitor);
  ObserverToken observe(std::function<void()> onChange);

  // Ends an access request at once: a KDE desktop has no prompt.
  static void endAccessRequest(AccessCompletion completion);

 private:
  StoreClient& client_;
};

}  // namespace pemrix::platform::akonadi
