// Due-date resolution over the date/tz time-zone database.
#include "platform/memory/due_date.h"

#include <date/tz.h>

#include <cstdint>
#include <stdexcept>

namespace pemrix::platform {

namespace {

using std::chrono::seconds;

constexpr int64_t kYearBound = 32000;
// Bounds on single fields that keep the arithmetic below far from overflow.
constexpr int64_t kMonthBound = 12 * 100000;
constexpr int64_t kDayBound = 366 * 100000;
constexpr int64_t kSecondBound = int64_t{86400} * kDayBound;

const date::time_zone* findZone(const std::string& name) {
  try {
    return date::locate_zone(name);
  } catch (const std::runtime_error&) {
    return nullptr;
  }
}

bool within(const std::optional<int64_t>& field, int64_t bound) {
  return !field || (*field >= -bound && *field <= bound);
}

int64_t floorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// The local time that the components name, counted from the first of the month that
// year and month roll over to.
std::optional<date::local_seconds> localTime(const DateComponents& due) {
  if (!within(due.year, kYearBound) || !within(due.month, kMonthBound) ||
      !within(due.day, kDayBound) || !within(due.hour, kSecondBound / 3600) ||
      !within(due.minute, kSecondBound / 60) || !within(due.second, kSecondBound)) {
    return std::nullopt;
  }
  int64_t monthIndex = *due.month - 1;
  int64_t year = *due.year + floorDiv(monthIndex, 12);
  int64_t month = monthIndex - 12 * floorDiv(monthIndex, 12) + 1;
  if (year < -kYearBound || year > kYearBound) return std::nullopt;
  auto firstOfMonth = date::local_days(date::year(static_cast<int>(year)) /
                                       date::month(static_cast<unsigned>(month)) / 1);
  int64_t offset = (*due.day - 1) * 86400 + due.hour.value_or(0) * 3600 +
                   due.minute.value_or(0) * 60 + due.second.value_or(0);
  date::local_seconds local = firstOfMonth + seconds(offset);
  auto lowest = date::local_days(date::year(-kYearBound) / 1 / 1);
  auto highest = date::local_days(date::year(kYearBound) / 12 / 31);
  if (local < lowest || local > highest) return std::nullopt;
  return local;
}

}  // namespace

std::optional<Instant> resolveDueDate(const DateComponents& due, const std::string& calendarZone) {
  if (!due.year || !due.month || !due.day) return std::nullopt;
  const date::time_zone* zone = findZone(due.timeZone.value_or(calendarZone));
  if (zone == nullptr) return std::nullopt;
  std::optional<date::local_seconds> local = localTime(due);
  if (!local) return std::nullopt;
  // The offset in force just before the local time: an ambiguous time (autumn) takes the
  // earlier instant, and a skipped one (spring) moves forward by the gap, as the calendar
  // service does (02:30 on a spring-forward night is read as 03:30).
  date::local_info info = zone->get_info(*local);
  return Instant(local->time_since_epoch() - info.first.offset);
}

bool knownTimeZone(const std::string& name) {
  return findZone(name) != nullptr;
}

}  // namespace pemrix::platform
