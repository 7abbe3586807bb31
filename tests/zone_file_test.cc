// Tests of the zone file reader: offsets across a year, the choices made for local times
// that clock changes skip or repeat, and names that must not reach the file system.
#include "sim/zone_file.h"

#include <gtest/gtest.h>

#include <string>

#include "civil_times.h"

namespace pemrix::platform {
namespace {

using namespace std::chrono;

using testing::local;
using testing::utc;

TEST(ZoneFileTest, BerlinOffsetsInWinterAndSummer) {
  std::optional<Zone> berlin = loadZone("Europe/Berlin");
  ASSERT_TRUE(berlin);
  EXPECT_EQ(berlin->offsetAt(utc(2024, 1, 15, 12, 0)), hours(1));
  EXPECT_EQ(berlin->offsetAt(utc(2024, 7, 15, 12, 0)), hours(2));
  // Summer time starts at 01:00 UTC on the last Sunday of March.
  EXPECT_EQ(berlin->offsetAt(utc(2024, 3, 31, 0, 59)), hours(1));
  EXPECT_EQ(berlin->offsetAt(utc(2024, 3, 31, 1, 0)), hours(2));
}

TEST(ZoneFileTest, NewYorkLocalTimesAroundClockChanges) {
  std::optional<Zone> newYork = loadZone("America/New_York");
  ASSERT_TRUE(newYork);
  struct Case {
    const char* what;
    local_seconds local;
    sys_seconds expected;
  } cases[] = {
      {"before the gap", local(2024, 3, 10, 1, 30), utc(2024, 3, 10, 6, 30)},
      {"in the gap: forward by an hour", local(2024, 3, 10, 2, 30), utc(2024, 3, 10, 7, 30)},
      {"after the gap", local(2024, 3, 10, 3, 30), utc(2024, 3, 10, 7, 30)},
      {"before the overlap", local(2024, 11, 3, 0, 30), utc(2024, 11, 3, 4, 30)},
      {"in the overlap: the earlier", local(2024, 11, 3, 1, 30), utc(2024, 11, 3, 5, 30)},
      {"after the overlap", local(2024, 11, 3, 2, 30), utc(2024, 11, 3, 7, 30)},
      {"after the last transition", local(2100, 7, 1, 12, 0), utc(2100, 7, 1, 17, 0)},
  };
  for (const Case& c : cases) EXPECT_EQ(newYork->toUtc(c.local), c.expected) << c.what;
}

TEST(ZoneFileTest, UtcHasNoOffset) {
  std::optional<Zone> zone = loadZone("UTC");
  ASSERT_TRUE(zone);
  EXPECT_EQ(zone->offsetAt(utc(2024, 7, 1, 0, 0)), seconds(0));
  EXPECT_EQ(zone->toUtc(local(2024, 7, 1, 0, 0)), utc(2024, 7, 1, 0, 0));
}

TEST(ZoneFileTest, UnknownAndEscapingNamesGiveNothing) {
  for (const char* name : {"", "Nowhere/Zone", "../etc/passwd", "/etc/localtime",
                           "Europe/../../../etc/passwd", "zone.tab"}) {
    EXPECT_FALSE(loadZone(name)) << name;
  }
}

TEST(ZoneFileTest, TruncatedOrForeignContentsAreRejected) {
  EXPECT_FALSE(parseZoneFile(""));
  EXPECT_FALSE(parseZoneFile("not a zone file at all, just some text"));
  std::string header("TZif2", 5);
  header.append(15 + 6 * 4, '\0');  // a header with no local time types
  EXPECT_FALSE(parseZoneFile(header));
}

}  // namespace
}  // namespace pemrix::platform
