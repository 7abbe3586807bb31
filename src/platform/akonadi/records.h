// The calendar store's records from the items of one Akonadi collection: the occurrences
// of its events that overlap a window (occurrences.h), and its incomplete to-dos due in a
// window.
//
// Thread safety: pure; may run on any thread.
#pragma once

#include <string>
#include <vector>

#include <Akonadi/Item>

#include "platform/calendar_store.h"
#include "platform/time_window.h"

namespace pemrix::platform::akonadi {

// Appends the occurrences of the events among `items` (the collection `calendarId`) that
// overlap `window`, in start order (ties by UID).
void appendEvents(const Akonadi::Item::List& items, const std::string& calendarId,
                  TimeWindow window, std::vector<EventRecord>& out);

// Appends the incomplete to-dos among `items` (the collection `listId`) due in `window`.
void appendIncompleteTodos(const Akonadi::Item::List& items, const std::string& listId,
                           TimeWindow window, std::vector<ReminderRecord>& out);

}  // namespace pemrix::platform::akonadi
