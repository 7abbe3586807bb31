// The one wall-time rule over real zones with different clock changes: a one-hour European
// change, New York, Lord Howe's half-hour change and the day Samoa skipped in 2011. Offsets
// come from the system's zone files through the simulator's reader.
#include "platform/wall_time.h"

#include <gtest/gtest.h>

#include "sim/zone_file.h"

namespace pemrix::platform {
namespace {

using namespace std::chrono;

sys_seconds utc(int y, unsigned m, unsigned d, int h, int min) {
  return sys_days(year(y) / m / d) + hours(h) + minutes(min);
}

local_seconds local(int y, unsigned m, unsigned d, int h, int min) {
  return local_days(year(y) / m / d) + hours(h) + minutes(min);
}

TEST(WallTimeTest, RepeatedTimesTakeTheFirstAndSkippedOnesTheOffsetBeforeTheGap) {
  struct Case {
    const char* zone;
    const char* what;
    local_seconds wall;
    sys_seconds expected;
  } cases[] = {
      {"Europe/Berlin", "skipped", local(2024, 3, 31, 2, 30), utc(2024, 3, 31, 1, 30)},
      {"Europe/Berlin", "repeated", local(2024, 10, 27, 2, 30), utc(2024, 10, 27, 0, 30)},
      {"Europe/Berlin", "after the repeat", local(2024, 10, 27, 3, 0), utc(2024, 10, 27, 2, 0)},
      {"America/New_York", "skipped", local(2024, 3, 10, 2, 30), utc(2024, 3, 10, 7, 30)},
      {"America/New_York", "repeated", local(2024, 11, 3, 1, 30), utc(2024, 11, 3, 5, 30)},
      // Lord Howe moves its clocks by half an hour, at 02:00 local time.
      {"Australia/Lord_Howe", "skipped", local(2024, 10, 6, 2, 15), utc(2024, 10, 5, 15, 45)},
      {"Australia/Lord_Howe", "repeated", local(2024, 4, 7, 1, 45), utc(2024, 4, 6, 14, 45)},
      // Samoa went from UTC-10 to UTC+14 at the end of 29 December 2011: the 30th never was.
      {"Pacific/Apia", "last hour", local(2011, 12, 29, 23, 0), utc(2011, 12, 30, 9, 0)},
      {"Pacific/Apia", "skipped day", local(2011, 12, 30, 12, 0), utc(2011, 12, 30, 22, 0)},
      {"Pacific/Apia", "first hour", local(2011, 12, 31, 0, 0), utc(2011, 12, 30, 10, 0)},
  };
  for (const Case& c : cases) {
    std::optional<Zone> zone = loadZone(c.zone);
    ASSERT_TRUE(zone) << c.zone;
    auto offsets = [&zone](sys_seconds at) { return zone->offsetAt(at); };
    EXPECT_EQ(instantOfWallTime(c.wall, offsets), c.expected) << c.zone << ": " << c.what;
    EXPECT_EQ(zone->toUtc(c.wall), c.expected) << c.zone << ": " << c.what;
  }
}

TEST(WallTimeTest, InstantsShowTheirZonesWallTimeAndTheEarliestThatReachesThem) {
  std::optional<Zone> berlin = loadZone("Europe/Berlin");
  ASSERT_TRUE(berlin);
  auto offsets = [&berlin](sys_seconds at) { return berlin->offsetAt(at); };
  // Both instants of a repeated time show it; only the first is its instant.
  EXPECT_EQ(wallTimeOfInstant(utc(2024, 10, 27, 0, 30), offsets), local(2024, 10, 27, 2, 30));
  EXPECT_EQ(wallTimeOfInstant(utc(2024, 10, 27, 1, 30), offsets), local(2024, 10, 27, 2, 30));
  // No wall time before these reaches the instant: its own, or earlier by a gap just before
  // (02:15 on the spring-forward night is read as 03:15).
  EXPECT_EQ(earliestWallTimeReaching(utc(2024, 7, 1, 10, 0), offsets), local(2024, 7, 1, 12, 0));
  EXPECT_EQ(earliestWallTimeReaching(utc(2024, 3, 31, 1, 15), offsets), local(2024, 3, 31, 2, 15));
  EXPECT_EQ(earliestWallTimeReaching(utc(2024, 10, 27, 1, 30), offsets),
            local(2024, 10, 27, 2, 30));
}

}  // namespace
}  // namespace pemrix::platform
