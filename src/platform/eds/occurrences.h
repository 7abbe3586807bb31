// The occurrences of one calendar event in a time window, as the calendar defines them:
// the master's DTSTART, recurrence rules and dates, minus excluded dates, with each
// detached occurrence (a component with RECURRENCE-ID) replacing the slot it names, inside
// or outside the window. EDS's own instance generator keeps the slot of an occurrence
// moved out of the window and hides errors, so the bridge expands with libical itself.
//
// Recurrence rules run over wall-clock values in the event's own zone, and each instance
// is resolved by the wall-time rule on its own (never from a previous instance's shifted
// time). Every occurrence lasts as long as the first: as many calendar days (all-day ones,
// and the days and weeks of a DURATION) and exact seconds. An event that ends before it
// starts ends at its start.
//
// Work is bounded per series: a rule without COUNT starts at the window, every rule stops
// after kMaxRecurrenceSteps steps, and a rule yields at most limits::kMaxItems occurrences
// in the window, its earliest, which is as many as a query can answer.
//
// Thread safety: pure; the components are only read.
#pragma once

#include <optional>
#include <vector>

#include <libical/ical.h>

#include "common/instant.h"
#include "platform/eds/ical_time.h"

namespace pemrix::platform::eds {

struct Occurrence {
  Instant start;
  Instant end;
  bool allDay = false;
  icalcomponent* component = nullptr;  // the master or the detached occurrence it comes from
};

// Most recurrence steps examined per rule; a rule that would need more (a rule every
// second with a COUNT, from years ago) stops there.
inline constexpr int kMaxRecurrenceSteps = 100000;

// Whether `component` repeats by rules or dates of its own (RRULE or RDATE).
bool recurs(icalcomponent* component);

// Whether `occurrence` overlaps [from, to): it starts before `to` and ends after `from`.
bool overlaps(const Occurrence& occurrence, Instant from, Instant to);

// The occurrences of one event that overlap [from, to). `master` may be null when only
// detached occurrences are known; `detached` are the components with a RECURRENCE-ID of
// the same UID. Components whose start cannot be read are left out. In no particular order.
std::vector<Occurrence> occurrencesIn(icalcomponent* master,
                                      const std::vector<icalcomponent*>& detached, Instant from,
                                      Instant to, const ZoneLookup& lookup);

// The start, end and all-day flag of a single component (its DTSTART, and DTEND, DURATION
// or the default length: one day for a DATE, none for a DATE-TIME). Nothing without a
// readable DTSTART.
std::optional<Occurrence> spanOf(icalcomponent* component, const ZoneLookup& lookup);

// The instant a task is due: its DUE, or else, when it has DTSTART and DURATION, the end of
// that span. Nothing for a task with neither, or whose times cannot be read.
std::optional<Instant> dueOf(icalcomponent* task, const ZoneLookup& lookup);

}  // namespace pemrix::platform::eds
