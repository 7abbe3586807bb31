// The occurrences of one calendar event in a time window, as the calendar defines them:
// the master's DTSTART, recurrence rules and dates, minus excluded dates, with each
// detached occurrence (a component with RECURRENCE-ID) replacing the slot it names, inside
// or outside the window. EDS's own instance generator keeps the slot of an occurrence
// moved out of the window and hides errors, so the bridge expands with libical itself.
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
// second for years) stops there.
inline constexpr int kMaxRecurrenceSteps = 100000;

// The occurrences of one event that overlap [from, to): an occurrence overlaps when it
// starts before `to` and ends after `from`. `master` may be null when only detached
// occurrences are known; `detached` are the components with a RECURRENCE-ID of the same
// UID. Components whose start cannot be read are left out. In no particular order.
std::vector<Occurrence> occurrencesIn(icalcomponent* master,
                                      const std::vector<icalcomponent*>& detached, Instant from,
                                      Instant to, const ZoneLookup& lookup);

// The start, end and all-day flag of a single component (its DTSTART, and DTEND, DURATION
// or the default length: one day for a DATE, none for a DATE-TIME). Nothing without a
// readable DTSTART.
std::optional<Occurrence> spanOf(icalcomponent* component, const ZoneLookup& lookup);

}  // namespace pemrix::platform::eds
