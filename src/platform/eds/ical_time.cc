// Wall times to instants: the wall-time rule (platform/wall_time.h) over the UTC offsets of
// libical's zones and of the C library's local zone. libical's own local-to-UTC
// conversions are not used: they follow another rule at clock changes.
#include "platform/eds/ical_time.h"

#include <cstring>

namespace pemrix::platform::eds {

namespace {

using std::chrono::local_seconds;
using std::chrono::seconds;
using std::chrono::sys_seconds;

constexpr const char* kBuiltinPrefix = "/freeassociation.sourceforge.net/";
constexpr int kLastYear = 9999;

// The offset libical's `zone` has at `instant`.
seconds zoneOffsetAt(icaltimezone* zone, sys_seconds instant) {
  icaltimetype at = icalTimeOf(local_seconds(instant.time_since_epoch()));
  at.zone = icaltimezone_get_utc_timezone();
  int daylight = 0;
  return seconds(icaltimezone_get_utc_offset_of_utc_time(zone, &at, &daylight));
}

// True when the value's fields name a date (and time of day) of the years 0000 to 9999.
bool representable(const icaltimetype& value) {
  if (value.year < 0 || value.year > kLastYear || value.month < 1 || value.month > 12 ||
      value.day < 1 || value.day > icaltime_days_in_month(value.month, value.year)) {
    return false;
  }
  return value.is_date || (value.hour >= 0 && value.hour < 24 && value.minute >= 0 &&
                           value.minute < 60 && value.second >= 0 && value.second <= 60);
}

}  // namespace

icaltimezone* builtinZone(const char* tzid) {
  if (tzid == nullptr || *tzid == '\0') return nullptr;
  if (icaltimezone* zone = icaltimezone_get_builtin_timezone_from_tzid(tzid)) return zone;
  const char* location = tzid;
  if (std::strncmp(tzid, kBuiltinPrefix, std::strlen(kBuiltinPrefix)) == 0) {
    // "/freeassociation.sourceforge.net/Tzfile/Europe/Berlin" or ".../Europe/Berlin".
    location = tzid + std::strlen(kBuiltinPrefix);
    if (std::strncmp(location, "Tzfile/", 7) == 0) location += 7;
  }
  if (std::strcmp(location, "UTC") == 0) return icaltimezone_get_utc_timezone();
  return icaltimezone_get_builtin_timezone(location);
}

bool WallTime::utc() const {
  return zone == nullptr && icaltime_is_utc(value);
}

bool WallTime::floating() const {
  return zone == nullptr && !icaltime_is_utc(value);
}

std::optional<WallTime> wallTimeOf(icalproperty* property, icaltimetype value,
                                   const ZoneLookup& lookup) {
  if (property == nullptr || icaltime_is_null_time(value) || !representable(value)) {
    return std::nullopt;
  }
  WallTime time{value, nullptr};
  if (icalparameter* param = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER)) {
    const char* tzid = icalparameter_get_tzid(param);
    icaltimezone* zone = lookup ? lookup(tzid) : builtinZone(tzid);
    if (zone == nullptr) return std::nullopt;
    if (zone != icaltimezone_get_utc_timezone()) time.zone = zone;
    time.value.zone = zone;
  }
  return time;
}

UtcOffsetAt offsetsOf(const WallTime& time) {
  if (time.zone != nullptr) {
    return [zone = time.zone](sys_seconds at) { return zoneOffsetAt(zone, at); };
  }
  if (time.utc()) return [](sys_seconds) { return seconds(0); };
  return localZoneOffsetAt;
}

std::optional<Instant> instantOf(const WallTime& time) {
  if (!representable(time.value)) return std::nullopt;
  const local_seconds wall = wallClockOf(time.value);
  if (time.utc()) return Instant(sys_seconds(wall.time_since_epoch()));
  return Instant(instantOfWallTime(wall, offsetsOf(time)));
}

icaltimetype wallTimeAt(Instant instant, const WallTime& like) {
  const sys_seconds at = std::chrono::floor<seconds>(instant);
  const local_seconds wall =
      like.utc() ? local_seconds(at.time_since_epoch()) : wallTimeOfInstant(at, offsetsOf(like));
  icaltimetype value = icalTimeOf(wall);
  value.zone = like.value.zone;
  return value;
}

local_seconds wallClockOf(const icaltimetype& value) {
  const std::chrono::local_days day(std::chrono::year(value.year) /
                                    std::chrono::month(static_cast<unsigned>(value.month)) /
                                    std::chrono::day(static_cast<unsigned>(value.day)));
  if (value.is_date) return day;
  return day + std::chrono::hours(value.hour) + std::chrono::minutes(value.minute) +
         seconds(value.second);
}

icaltimetype icalTimeOf(local_seconds wall) {
  const auto day = std::chrono::floor<std::chrono::days>(wall);
  const std::chrono::year_month_day date(day);
  const std::chrono::hh_mm_ss<seconds> time(wall - day);
  icaltimetype value = icaltime_null_time();
  value.year = static_cast<int>(date.year());
  value.month = static_cast<int>(static_cast<unsigned>(date.month()));
  value.day = static_cast<int>(static_cast<unsigned>(date.day()));
  value.hour = static_cast<int>(time.hours().count());
  value.minute = static_cast<int>(time.minutes().count());
  value.second = static_cast<int>(time.seconds().count());
  return value;
}

}  // namespace pemrix::platform::eds
