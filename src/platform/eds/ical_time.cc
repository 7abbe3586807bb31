// Wall times to instants with libical's zone database and the C library's local zone.
#include "platform/eds/ical_time.h"

#include <cstring>
#include <ctime>

namespace pemrix::platform::eds {

namespace {

constexpr const char* kBuiltinPrefix = "/freeassociation.sourceforge.net/";

// The local zone's instant of a floating wall time; a time skipped by a clock change is
// moved forward, an ambiguous one takes the C library's choice.
std::optional<std::time_t> localInstant(const icaltimetype& value) {
  std::tm fields{};
  fields.tm_year = value.year - 1900;
  fields.tm_mon = value.month - 1;
  fields.tm_mday = value.day;
  if (!value.is_date) {
    fields.tm_hour = value.hour;
    fields.tm_min = value.minute;
    fields.tm_sec = value.second;
  }
  fields.tm_isdst = -1;
  std::time_t seconds = std::mktime(&fields);
  if (seconds == static_cast<std::time_t>(-1) && fields.tm_year != 69) return std::nullopt;
  return seconds;
}

Instant fromSeconds(std::time_t seconds) {
  return Instant(std::chrono::seconds(seconds));
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

std::string zoneName(icaltimezone* zone) {
  if (zone == icaltimezone_get_utc_timezone()) return "UTC";
  if (const char* location = icaltimezone_get_location(zone)) return location;
  const char* tzid = icaltimezone_get_tzid(zone);
  return tzid ? tzid : "";
}

bool WallTime::utc() const {
  return zone == nullptr && icaltime_is_utc(value);
}

bool WallTime::floating() const {
  return zone == nullptr && !icaltime_is_utc(value);
}

std::optional<WallTime> wallTimeOf(icalproperty* property, icaltimetype value,
                                   const ZoneLookup& lookup) {
  if (property == nullptr || icaltime_is_null_time(value) || !icaltime_is_valid_time(value)) {
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

std::optional<Instant> instantOf(const WallTime& time) {
  icaltimetype value = time.value;
  if (time.zone != nullptr) {
    value.zone = nullptr;
    return fromSeconds(icaltime_as_timet_with_zone(value, time.zone));
  }
  if (icaltime_is_utc(value)) {
    value.zone = nullptr;
    return fromSeconds(icaltime_as_timet_with_zone(value, icaltimezone_get_utc_timezone()));
  }
  std::optional<std::time_t> seconds = localInstant(value);
  if (!seconds) return std::nullopt;
  return fromSeconds(*seconds);
}

icaltimetype wallTimeAt(Instant instant, const WallTime& like) {
  auto seconds = static_cast<std::time_t>(
      std::chrono::floor<std::chrono::seconds>(instant).time_since_epoch().count());
  if (like.zone != nullptr) return icaltime_from_timet_with_zone(seconds, 0, like.zone);
  if (like.utc()) {
    return icaltime_from_timet_with_zone(seconds, 0, icaltimezone_get_utc_timezone());
  }
  std::tm fields{};
  localtime_r(&seconds, &fields);
  icaltimetype value = icaltime_null_time();
  value.year = fields.tm_year + 1900;
  value.month = fields.tm_mon + 1;
  value.day = fields.tm_mday;
  value.hour = fields.tm_hour;
  value.minute = fields.tm_min;
  value.second = fields.tm_sec;
  return value;
}

}  // namespace pemrix::platform::eds
