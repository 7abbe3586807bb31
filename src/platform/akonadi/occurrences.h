// The times of KCalendarCore events and to-dos as the bridge reads them. KCalendarCore
// expands recurrence rules (with their excluded dates); each slot's wall time is then
// resolved to an instant by the bridge's own rule (platform/wall_time.h) in the event's
// zone, the local zone for floating times. Every occurrence lasts as long as the first:
// as many calendar days (all-day events, and a DURATION given in days, which is nominal)
// and exact seconds. An all-day event covers the user's days (the local zone's). A moved
// occurrence (an event with a RECURRENCE-ID) takes the place of the slot it names, inside
// or outside the window.
//
// Thread safety: pure; may run on any thread.
#pragma once

#include <optional>
#include <vector>

#include <KCalendarCore/Event>
#include <KCalendarCore/Todo>
#include <QDateTime>

#include "common/instant.h"
#include "platform/time_window.h"

namespace pemrix::platform::akonadi {

struct Occurrence {
  Instant start;
  Instant end;
  bool allDay = false;
  const KCalendarCore::Event* event = nullptr;  // the master or moved occurrence it comes from
};

// The instant a date and time names by the wall-time rule: UTC and fixed offsets as
// written, a named zone's wall time in that zone, a floating one in the local zone.
// Nothing when the value is invalid.
std::optional<Instant> instantOf(const QDateTime& time);

// The occurrences of one event that overlap `window`: `master` (null when only moved
// occurrences are known) with its recurrence, and `moved`, the events of the same UID
// with a RECURRENCE-ID. A rule yields at most limits::kMaxItems occurrences, its earliest.
// In no particular order.
std::vector<Occurrence> occurrencesIn(const KCalendarCore::Event* master,
                                      const std::vector<const KCalendarCore::Event*>& moved,
                                      TimeWindow window);

// The instant a to-do is due (a date-only due date at the user's midnight); nothing
// without a due date.
std::optional<Instant> dueOf(const KCalendarCore::Todo& todo);

}  // namespace pemrix::platform::akonadi
