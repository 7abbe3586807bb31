// Resolving a reminder's due-date components into an instant with the time-zone database,
// the way the calendar service does: a date without a time of day is local midnight in the
// user's zone; a time of day is read in the components' own zone when they carry one, else
// in the user's; unset minute and second count as zero, and out-of-range fields roll over (month 13
// is January of the next year, day 0 the last day of the previous month). A local time
// names its instant by the wall-time rule (platform/wall_time.h).
//
// Thread safety: pure apart from the process-wide cache of zone files, which is guarded.
#pragma once

#include <optional>
#include <string>

#include "common/instant.h"
#include "sim/world.h"

namespace pemrix::platform {

// The instant `due` names for a user in `userZone` (IANA name), read in the Gregorian
// calendar unless it carries a calendar of its own ("buddhist" is the only other one
// simulated); the system's calendar plays no part. Nothing when year,
// month or day is missing, the zone or calendar is unknown, or the result lies outside the
// years -32000 to 32000.
std::optional<Instant> resolveDueDate(const WorldDue& due, const std::string& userZone);

// The instant the calendar service keeps `due` at, which its own reminder predicate tests: a
// date alone at midnight UTC, a time of day without a zone at that time in UTC, one with a
// zone in that zone. It differs from the user's instant by the user's UTC offset at most.
std::optional<Instant> storedDueDate(const WorldDue& due);

// True when `name` is a zone of the time-zone database.
bool knownTimeZone(const std::string& name);

}  // namespace pemrix::platform
