// The one rule by which a wall-clock time names an instant, for every platform and the
// simulator. A local time that a clock change repeats names its first (earlier)
// occurrence; a local time that a clock change skips is read with the UTC offset in force
// before the change, which moves it forward by the length of the gap (02:30 on a
// spring-forward night of a one-hour change is 03:30 of the new offset). This is the rule
// of RFC 5545 for DATE-TIME values (3.3.5), and recurrence instances, computed as wall
// times, are resolved one by one by it too (3.3.10).
//
// A zone is given by its UTC offset at each instant; the rule probes the offsets a day
// either side of the wall time, so it holds wherever clocks change at most once within
// those two days and offsets stay within a day of UTC (every zone of the time-zone
// database; Pacific/Apia's skipped 30 December 2011 included).
//
// Thread safety: pure; `offsetAt` is called on the calling thread only.
#pragma once

#include <chrono>
#include <functional>

namespace pemrix::platform {

// The UTC offset of a zone's clocks (local time minus UTC) at a UTC instant.
using UtcOffsetAt = std::function<std::chrono::seconds(std::chrono::sys_seconds)>;

// The instant at which the zone's clocks show `local`, by the rule above.
std::chrono::sys_seconds instantOfWallTime(std::chrono::local_seconds local,
                                           const UtcOffsetAt& offsetAt);

// A wall time before which none is read as `instant` or later: the wall time at
// `instant`, or earlier by the length of a gap that ends within the day before it (times
// skipped by the gap are read forward, up to the end of the gap).
std::chrono::local_seconds earliestWallTimeReaching(std::chrono::sys_seconds instant,
                                                    const UtcOffsetAt& offsetAt);

// The wall time the zone's clocks show at `instant`.
std::chrono::local_seconds wallTimeOfInstant(std::chrono::sys_seconds instant,
                                             const UtcOffsetAt& offsetAt);

// The offset of the process's local zone (TZ when set) at `instant`, as the C library
// reads it: the zone of floating times on the Linux desktops. Zero where the C library
// cannot say.
std::chrono::seconds localZoneOffsetAt(std::chrono::sys_seconds instant);

}  // namespace pemrix::platform
