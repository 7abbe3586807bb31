// Resolving wall-clock times to instants by the offsets around them.
#include "platform/wall_time.h"

#include <algorithm>
#include <ctime>

namespace pemrix::platform {

using std::chrono::days;
using std::chrono::local_seconds;
using std::chrono::seconds;
using std::chrono::sys_seconds;

sys_seconds instantOfWallTime(local_seconds local, const UtcOffsetAt& offsetAt) {
  // The instants whose clocks could show `local` lie within a day of it read as UTC, so the
  // offsets in force a day before and a day after are the only candidates. Each candidate
  // fits when the offset at the instant it gives is that candidate itself.
  const sys_seconds asUtc(local.time_since_epoch());
  const seconds before = offsetAt(asUtc - days(1));
  const seconds after = offsetAt(asUtc + days(1));
  const seconds larger = std::max(before, after), smaller = std::min(before, after);
  // The larger offset gives the earlier instant: tried first, so a repeated time takes it.
  if (offsetAt(asUtc - larger) == larger) return asUtc - larger;
  if (offsetAt(asUtc - smaller) == smaller) return asUtc - smaller;
  // Neither fits: the clocks skipped `local`. The offset before the gap moves it forward.
  return asUtc - before;
}

local_seconds earliestWallTimeReaching(sys_seconds instant, const UtcOffsetAt& offsetAt) {
  // A wall time W names W - offset, where a skipped W takes the offset before its gap, so
  // with the smaller of the offsets now and a day ago no earlier W can reach the instant.
  const seconds offset = std::min(offsetAt(instant), offsetAt(instant - days(1)));
  return local_seconds((instant + offset).time_since_epoch());
}

local_seconds wallTimeOfInstant(sys_seconds instant, const UtcOffsetAt& offsetAt) {
  return local_seconds((instant + offsetAt(instant)).time_since_epoch());
}

seconds localZoneOffsetAt(sys_seconds instant) {
  const auto at = static_cast<std::time_t>(instant.time_since_epoch().count());
  std::tm fields{};
  if (localtime_r(&at, &fields) == nullptr) return seconds(0);
  return seconds(timegm(&fields) - at);
}

}  // namespace pemrix::platform
