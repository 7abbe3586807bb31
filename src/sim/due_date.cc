// Due-date resolution over the system's compiled time-zone files.
#include "sim/due_date.h"

#include <chrono>
#include <cstdint>

#include "sim/zone_file.h"

namespace pemrix::platform {

namespace {

using std::chrono::seconds;

constexpr int64_t kYearBound = 32000;
constexpr int64_t kBuddhistEraOffset = 543;
// Bounds on single fields that keep the arithmetic below far from overflow.
constexpr int64_t kMonthBound = 12 * 100000;
constexpr int64_t kDayBound = 366 * 100000;
constexpr int64_t kSecondBound = int64_t{86400} * kDayBound;

using std::chrono::local_days;
using std::chrono::local_seconds;

bool within(const std::optional<int64_t>& field, int64_t bound) {
  return !field || (*field >= -bound && *field <= bound);
}

int64_t floorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// The local time that the components name, counted from the first of the month that
// year and month roll over to.
std::optional<local_seconds> localTime(const WorldDue& due) {
  if (!within(due.year, kYearBound) || !within(due.month, kMonthBound) ||
      !within(due.day, kDayBound) || !within(due.hour, kSecondBound / 3600) ||
      !within(due.minute, kSecondBound / 60) || !within(due.second, kSecondBound)) {
    return std::nullopt;
  }
  int64_t monthIndex = *due.month - 1;
  int64_t year = *due.year + floorDiv(monthIndex, 12);
  int64_t month = monthIndex - 12 * floorDiv(monthIndex, 12) + 1;
  if (year < -kYearBound || year > kYearBound) return std::nullopt;
  auto firstOfMonth = local_days(std::chrono::year(static_cast<int>(year)) /
                                 std::chrono::month(static_cast<unsigned>(month)) / 1);
  int64_t offset = (*due.day - 1) * 86400 + due.hour.value_or(0) * 3600 +
                   due.minute.value_or(0) * 60 + due.second.value_or(0);
  local_seconds local = firstOfMonth + seconds(offset);
  auto lowest = local_days(std::chrono::year(-kYearBound) / 1 / 1);
  auto highest = local_days(std::chrono::year(kYearBound) / 12 / 31);
  if (local < lowest || local > highest) return std::nullopt;
  return local;
}

}  // namespace

std::optional<Instant> resolveDueDate(const WorldDue& due, const std::string& userZone) {
  if (!due.year || !due.month || !due.day) return std::nullopt;
  // The service keeps a date-only due date at midnight UTC with a zone; it means the day
  // wherever the user is, so only a time of day is read in the components' zone.
  const bool timeOfDay = due.hour.has_value();
  std::optional<Zone> zone = loadZone(timeOfDay ? due.timeZone.value_or(userZone) : userZone);
  if (!zone) return std::nullopt;
  // Components without a calendar are Gregorian. The Buddhist calendar is the Gregorian one
  // with its years counted from 543 BCE; no other calendar is simulated.
  WorldDue gregorian = due;
  if (due.calendar && *due.calendar == "buddhist") {
    if (!within(due.year, kYearBound)) return std::nullopt;
    gregorian.year = *due.year - kBuddhistEraOffset;
  } else if (due.calendar && *due.calendar != "gregorian") {
    return std::nullopt;
  }
  std::optional<local_seconds> local = localTime(gregorian);
  if (!local) return std::nullopt;
  // By the wall-time rule of every platform (platform/wall_time.h).
  return Instant(zone->toUtc(*local));
}

std::optional<Instant> storedDueDate(const WorldDue& due) {
  return resolveDueDate(due, "UTC");
}

bool knownTimeZone(const std::string& name) {
  return loadZone(name).has_value();
}

}  // namespace pemrix::platform
