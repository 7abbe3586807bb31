// Instant: a point in time in UTC, the wall-clock type shared by the request protocol,
// the request lifetime and the calendar service.
//
// Microsecond resolution covers every timestamp a request can name (years 0000 to 9999)
// without overflow; finer fractions in request text are dropped.
#pragma once

#include <chrono>

namespace pemrix {

using Instant = std::chrono::sys_time<std::chrono::microseconds>;

// The signed number of seconds from `from` to `to`.
inline double secondsBetween(Instant from, Instant to) {
  return std::chrono::duration<double>(to - from).count();
}

// `instant` moved by a number of seconds (may be fractional or negative).
inline Instant addSeconds(Instant instant, double seconds) {
  return instant + std::chrono::duration_cast<std::chrono::microseconds>(
                       std::chrono::duration<double>(seconds));
}

}  // namespace pemrix
