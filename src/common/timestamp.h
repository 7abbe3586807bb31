// Timestamps on the wire: the one form requests may name and the whole-second form of
// results. Pure functions, safe on any thread; the request parser and the simulator's
// world files read the same form.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/instant.h"

namespace pemrix {

// The first and the last instant a request's timestamp can name: its years have four
// digits, 0000 to 9999.
inline constexpr Instant kEarliestTimestamp{
    std::chrono::sys_days{std::chrono::year{0} / std::chrono::January / 1}};
inline constexpr Instant kLatestTimestamp{
    std::chrono::sys_days{std::chrono::year{10000} / std::chrono::January / 1} -
    std::chrono::microseconds{1}};

// Reads a timestamp of the form 2024-05-01T08:30:00Z, with an optional fraction of 1 to
// 9 digits, naming a date and time that exist in UTC; nothing for any other text.
// Fraction digits after the sixth are dropped (an Instant holds microseconds).
std::optional<Instant> parseDate(std::string_view text);

// Writes `instant` in the date form of results: UTC, whole seconds, "Z"
// (2024-05-01T09:30:00Z). Fractions of a second are dropped.
std::string formatDate(Instant instant);

}  // namespace pemrix
