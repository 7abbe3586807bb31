// Times of iCalendar data as the calendar shows them: a wall-clock time with an optional
// zone (TZID), UTC, floating (the local zone) or a DATE (local midnight of its zone),
// resolved to instants. Pure functions over libical values; the local zone is the C
// library's (TZ when set, else the system's).
//
// Thread safety: every function may be called from any thread.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <libical/ical.h>

#include "common/instant.h"

namespace pemrix::platform::eds {

// Finds the zone a TZID names; nothing when it is unknown.
using ZoneLookup = std::function<icaltimezone*(const char* tzid)>;

// The zone of libical's built-in database that `tzid` names, as EDS writes it (with its
// "/freeassociation.sourceforge.net/" prefix) or as a plain IANA name.
icaltimezone* builtinZone(const char* tzid);

// The IANA location of `zone` ("Europe/Berlin"), or its TZID when it has none.
std::string zoneName(icaltimezone* zone);

// A time as a property states it: its wall-clock value and the zone that value is in;
// `zone` is empty for UTC, floating and DATE values without TZID.
struct WallTime {
  icaltimetype value = icaltime_null_time();
  icaltimezone* zone = nullptr;
  bool utc() const;
  bool floating() const;  // neither UTC nor in a named zone (DATEs without TZID too)
};

// The value of a date-time property (DTSTART, DTEND, DUE, RECURRENCE-ID, EXDATE, RDATE)
// with its TZID resolved through `lookup`. Nothing when the property is absent, its value
// is not a valid time, or its TZID is unknown.
std::optional<WallTime> wallTimeOf(icalproperty* property, icaltimetype value,
                                   const ZoneLookup& lookup);

// The instant a wall time names: UTC as written, in its zone when it has one, and in the
// local zone when floating. DATE values stand for midnight. Nothing for times the C library
// cannot represent.
std::optional<Instant> instantOf(const WallTime& time);

// The wall time of `instant` in the zone of `like` (UTC, its zone, or the local zone), as
// a DATE-TIME.
icaltimetype wallTimeAt(Instant instant, const WallTime& like);

}  // namespace pemrix::platform::eds
