// TimeWindow: the half-open span of time [start, end) a read asks for, and the one exact
// test of whether an event or a due date falls in it. Every adapter delivers exactly what
// this test selects, whatever its service's own time test selects.
#pragma once

#include <chrono>

#include "common/instant.h"

namespace pemrix::platform {

// How far a calendar service's own time test may place a date or time from the instant the
// user means. A date without a time of day, or a time of day without a zone, means that wall
// time in the user's zone, but the services test it as if it were in UTC (EventKit keeps
// such a due date at midnight UTC, or at that time of day in UTC; EDS's own due-date test
// reads date-only due dates in UTC too): the two differ by the user's UTC offset, which lies
// between UTC-12 and UTC+14 (within 16 hours in the local mean times before standard zones,
// and never a whole day). So the adapters ask their service for the window widened by a
// whole day on each side, and test what it gives against the exact window.
inline constexpr std::chrono::hours kServiceWindowMargin{24};

struct TimeWindow {
  Instant start;
  Instant end;

  // Whether a span from `spanStart` to `spanEnd` overlaps the window: it starts before the
  // window ends and ends after the window starts.
  bool overlaps(Instant spanStart, Instant spanEnd) const {
    return spanStart < end && spanEnd > start;
  }
  // Whether `instant` lies in [start, end).
  bool contains(Instant instant) const { return instant >= start && instant < end; }
  // The window to ask a service for: widened by kServiceWindowMargin on each side.
  TimeWindow widened() const { return {start - kServiceWindowMargin, end + kServiceWindowMargin}; }
};

}  // namespace pemrix::platform
