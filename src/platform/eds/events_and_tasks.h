// Reading one EDS calendar client: the occurrences of its events in a window and its
// incomplete tasks due in a window, as the calendar store's records; and the pure pieces
// they are built from (query expressions), which tests check without a service.
//
// Thread safety: the reading functions run on the GLib thread; the pure ones anywhere.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <libecal/libecal.h>

#include "platform/calendar_store.h"
#include "platform/eds/ical_time.h"

namespace pemrix::platform::eds {

// An EDS query expression `(FUNCTION (make-time FROM) (make-time TO))` for the window
// widened by kServiceWindowMargin on each side (EDS's own time tests read dates and floating
// times in another zone than the user's; the exact test is TimeWindow's), within the years a
// request can name.
std::string windowExpression(const char* function, Instant from, Instant to);

// The EDS query for the events of a window: every component that recurs, masters and
// detached occurrences (EDS would expand a series for a time test, however dense, for
// every query), and every other one that occurs in the widened window.
std::string eventsExpression(Instant from, Instant to);

// Appends the occurrences of the events of `client` (the calendar `sourceId`) that overlap
// [from, to), in start order (ties by UID). Throws the failed Status when EDS fails.
void appendEvents(ECalClient* client, const std::string& sourceId, Instant from, Instant to,
                  std::vector<EventRecord>& out);

// Puts events in start order; events with equal starts keep their order.
void sortByStart(std::vector<EventRecord>& events);

// Appends the incomplete tasks of `client` (the list `sourceId`) due in [from, to): those
// EDS finds due near the window, tested exactly against it. Throws the failed Status when
// EDS fails.
void appendIncompleteTasks(ECalClient* client, const std::string& sourceId, Instant from,
                           Instant to, std::vector<ReminderRecord>& out);

}  // namespace pemrix::platform::eds
