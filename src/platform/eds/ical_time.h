// Times of iCalendar data as the calendar shows them: a wall-clock time with an optional
// zone (TZID), UTC, floating (the local zone) or a DATE (local midnight of its zone),
// resolved to instants by the wall-time rule of every platform (platform/wall_time.h).
// libical supplies only the offsets of its zones; the local zone's offsets
// come from the C library (TZ when set, else the system's).
//
// Thread safety: every function may be called from any thread.
#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include <libical/ical.h>

#include "common/instant.h"
#include "platform/wall_time.h"

namespace pemrix::platform::eds {

// Finds the zone a TZID names; nothing when it is unknown.
using ZoneLookup = std::function<icaltimezone*(const char* tzid)>;

// The zone of libical's built-in database that `tzid` names, as EDS writes it (with its
// "/freeassociation.sourceforge.net/" prefix) or as a plain IANA name.
icaltimezone* builtinZone(const char* tzid);

// A time as a property states it: its wall-clock value and the zone that value is in;
// `zone` is empty for UTC, floating and DATE values without TZID.
struct WallTime {
  icaltimetype value = icaltime_null_time();
  icaltimezone* zone = nullptr;
  bool utc() const;
  bool floating() const;  // neither UTC nor in a named zone (DATEs without TZID too)
};

// The value of a date-time property (DTSTART, DTEND, DUE, RECURRENCE-ID, EXDATE, RDATE)
// with its TZID resolved through `lookup` (libical's built-in zones when it is empty).
// Nothing when the property is absent, its value is not a date or time of the years 0000
// to 9999, or its TZID is unknown.
std::optional<WallTime> wallTimeOf(icalproperty* property, icaltimetype value,
                                   const ZoneLookup& lookup);

// The UTC offsets of the zone a wall time is read in: its own zone's, none for UTC, the
// local zone's when floating.
UtcOffsetAt offsetsOf(const WallTime& time);

// The instant a wall time names: UTC as written, otherwise by the wall-time rule in its
// zone or, when floating, in the local zone. DATE values stand for midnight. Nothing for a
// value outside the years 0000 to 9999.
std::optional<Instant> instantOf(const WallTime& time);

// The wall time of `instant` in the zone of `like` (UTC, its zone, or the local zone), as
// a DATE-TIME carrying the zone of `like`'s value.
icaltimetype wallTimeAt(Instant instant, const WallTime& like);

// The date and time of day a value's fields show (midnight for a DATE), in no zone.
std::chrono::local_seconds wallClockOf(const icaltimetype& value);

// A DATE-TIME value in no zone showing `wall`.
icaltimetype icalTimeOf(std::chrono::local_seconds wall);

}  // namespace pemrix::platform::eds
