// The one wall-time rule over real zones with different clock changes (offsets from the
// system's zone files through the simulator's reader): a one-hour European change, Lord
// Howe's half-hour change and the day Samoa skipped at the end of 2011. New York's are in
// zone_file_test.cc.
#include "platform/wall_time.h"

#include <gtest/gtest.h>

#include "civil_times.h"

#include "sim/zone_file.h"

namespace pemrix::platform {
namespace {

using namespace std::chrono;

using testing::local;
using testing::utc;

UtcOffsetAt offsetsOf(const char* name) {
  std::optional<Zone> zone = loadZone(name);
  EXPECT_TRUE(zone) << name;
  return [zone](sys_seconds at) { return zone ? zone->offsetAt(at) : seconds(0); };
}

TEST(WallTimeTest, RepeatedTimesAreTheFirstAndSkippedOnesUseTheOffsetBeforeTheGap) {
  struct Case {
    const char* zone;
    local_seconds wall;
    sys_seconds expected;
  } cases[] = {
      {"Europe/Berlin", local(2024, 3, 31, 2, 30), utc(2024, 3, 31, 1, 30)},    // skipped
      {"Europe/Berlin", local(2024, 10, 27, 2, 30), utc(2024, 10, 27, 0, 30)},  // repeated
      // Lord Howe moves its clocks by half an hour, at 02:00.
      {"Australia/Lord_Howe", local(2024, 10, 6, 2, 15), utc(2024, 10, 5, 15, 45)},
      {"Australia/Lord_Howe", local(2024, 4, 7, 1, 45), utc(2024, 4, 6, 14, 45)},
      // Samoa went from UTC-10 to UTC+14 at the end of 29 December 2011.
      {"Pacific/Apia", local(2011, 12, 30, 12, 0), utc(2011, 12, 30, 22, 0)},
      {"Pacific/Apia", local(2011, 12, 31, 0, 0), utc(2011, 12, 30, 10, 0)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(instantOfWallTime(c.wall, offsetsOf(c.zone)), c.expected) << c.zone;
  }
  // No wall time earlier than an instant's own reaches it, or than that less a gap just
  // before it: 02:15 on the spring-forward night is read as 03:15, which is 01:15 UTC.
  UtcOffsetAt berlin = offsetsOf("Europe/Berlin");
  EXPECT_EQ(earliestWallTimeReaching(utc(2024, 7, 1, 10, 0), berlin), local(2024, 7, 1, 12, 0));
  EXPECT_EQ(earliestWallTimeReaching(utc(2024, 3, 31, 1, 15), berlin), local(2024, 3, 31, 2, 15));
  EXPECT_EQ(wallTimeOfInstant(utc(2024, 10, 27, 1, 30), berlin), local(2024, 10, 27, 2, 30));
}

}  // namespace
}  // namespace pemrix::platform
