// Tests of the platform's Status (what each kind of failure reports) and of TimeWindow, the
// one exact window test of every adapter: half-open edges, empty spans and widening.
#include <gtest/gtest.h>

#include "common/timestamp.h"
#include "platform/status.h"
#include "platform/time_window.h"

namespace pemrix::platform {
namespace {

Instant at(const char* text) {
  return parseDate(text).value();
}

TEST(StatusTest, EachKindReportsItself) {
  struct Row {
    const char* name;
    Status status;
    bool ok, gone, unavailable, noResult;
  };
  const Row rows[] = {
      {"ok", Status(), true, false, false, false},
      {"gone", Status::gone("g"), false, true, false, false},
      {"unavailable", Status::unavailable("u"), false, false, true, false},
      {"noResult", Status::noResult("n"), false, false, true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.status.ok(), row.ok);
    EXPECT_EQ(row.status.isGone(), row.gone);
    EXPECT_EQ(row.status.isUnavailable(), row.unavailable);
    EXPECT_EQ(row.status.isNoResult(), row.noResult);
    EXPECT_EQ(row.status.text(), row.ok ? "" : std::string(1, row.name[0]));
  }
}

TEST(StatusTest, StatusOfCatchesOnlyAThrownStatus) {
  EXPECT_TRUE(statusOf([] {}).ok());
  EXPECT_TRUE(statusOf([] { throw Status::gone("the source is gone"); }).isGone());
  EXPECT_THROW((void)statusOf([] { throw std::bad_alloc(); }), std::bad_alloc);
}

TEST(TimeWindowTest, SpansAndInstantsAgainstAHalfOpenWindow) {
  const TimeWindow window{at("2024-05-01T10:00:00Z"), at("2024-05-01T12:00:00Z")};
  struct Row {
    const char* start;
    const char* end;
    bool overlaps;
  };
  const Row spans[] = {
      {"2024-05-01T08:00:00Z", "2024-05-01T10:00:00Z", false},  // ends at the start
      {"2024-05-01T09:00:00Z", "2024-05-01T10:00:01Z", true},   // ends just inside
      {"2024-05-01T11:00:00Z", "2024-05-01T11:00:00Z", true},   // no length, inside
      {"2024-05-01T10:00:00Z", "2024-05-01T10:00:00Z", false},  // no length, at the start
      {"2024-05-01T11:59:59Z", "2024-05-01T13:00:00Z", true},   // starts just inside
      {"2024-05-01T12:00:00Z", "2024-05-01T13:00:00Z", false},  // starts at the end
      {"2024-04-30T00:00:00Z", "2024-05-02T00:00:00Z", true},   // spans the window
  };
  for (const Row& row : spans) {
    EXPECT_EQ(window.overlaps(at(row.start), at(row.end)), row.overlaps) << row.start;
  }
  EXPECT_TRUE(window.contains(at("2024-05-01T10:00:00Z")));
  EXPECT_TRUE(window.contains(at("2024-05-01T11:59:59Z")));
  EXPECT_FALSE(window.contains(at("2024-05-01T12:00:00Z")));
  EXPECT_FALSE(window.contains(at("2024-05-01T09:59:59Z")));
}

TEST(TimeWindowTest, WideningAddsTheServiceMarginOnEachSide) {
  const TimeWindow widened =
      TimeWindow{at("2024-05-01T10:00:00Z"), at("2024-05-01T12:00:00Z")}.widened();
  EXPECT_EQ(widened.start, at("2024-04-30T10:00:00Z"));
  EXPECT_EQ(widened.end, at("2024-05-02T12:00:00Z"));
}

}  // namespace
}  // namespace pemrix::platform
