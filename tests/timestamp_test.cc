// Reading request timestamps and writing result dates.
#include <gtest/gtest.h>

#include <chrono>

#include "protocol/native_request.h"

namespace pemrix {
namespace {

using std::chrono::days;
using std::chrono::hours;
using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::minutes;
using std::chrono::seconds;
using std::chrono::sys_days;
using namespace std::chrono_literals;

Instant at(std::chrono::year_month_day date, seconds time = 0s, microseconds fraction = 0us) {
  return Instant{sys_days{date}} + time + fraction;
}

struct Accepted {
  const char* text;
  Instant instant;
};

TEST(ParseDate, AcceptsTheLayoutWithAndWithoutFraction) {
  using std::chrono::April;
  using std::chrono::December;
  using std::chrono::February;
  using std::chrono::January;
  using std::chrono::May;
  const Accepted cases[] = {
      {"2024-05-01T08:30:00Z", at(2024y / May / 1, 8h + 30min)},
      {"2024-05-01T08:30:00.5Z", at(2024y / May / 1, 8h + 30min, 500000us)},
      {"2024-05-01T08:30:00.123Z", at(2024y / May / 1, 8h + 30min, 123000us)},
      {"2024-05-01T08:30:00.123456Z", at(2024y / May / 1, 8h + 30min, 123456us)},
      // Digits past the microsecond are dropped, not rounded.
      {"2024-05-01T08:30:00.123456999Z", at(2024y / May / 1, 8h + 30min, 123456us)},
      {"2024-05-01T08:30:00.000000000Z", at(2024y / May / 1, 8h + 30min)},
      {"2024-02-29T12:00:00Z", at(2024y / February / 29, 12h)},
      {"2000-02-29T00:00:00Z", at(2000y / February / 29)},
      {"2024-04-30T23:59:59Z", at(2024y / April / 30, 23h + 59min + 59s)},
      {"1970-01-01T00:00:00Z", Instant{}},
      {"1969-12-31T23:59:59.999999Z", Instant{} - 1us},
      {"0000-01-01T00:00:00Z", at(std::chrono::year{0} / January / 1)},
      {"9999-12-31T23:59:59.999999999Z", at(9999y / December / 31, 86399s, 999999us)},
  };
  for (const Accepted& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<Instant> parsed = parseDate(c.text);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, c.instant);
  }
}

TEST(ParseDate, RefusesEverythingElse) {
  const char* const cases[] = {
      "",
      "2024-05-01T08:30:00.1234567890Z",  // ten fraction digits
      "2024-05-01T08:30:00.Z",            // full stop without digits
      "2023-02-29T12:00:00Z",             // not a leap year
      "1900-02-29T12:00:00Z",             // century, not a leap year
      "2024-04-31T00:00:00Z",
      "2024-13-01T00:00:00Z",
      "2024-00-10T00:00:00Z",
      "2024-05-00T00:00:00Z",
      "2024-05-32T00:00:00Z",
      "2024-05-01T24:00:00Z",
      "2024-05-01T23:60:00Z",
      "2024-05-01T23:59:60Z",
      "2024-05-01t08:30:00Z",
      "2024-05-01T08:30:00z",
      "2024-05-01 08:30:00Z",
      "2024-05-01T08:30:00+00:00",
      "2024-05-01T08:30:00",
      "24-05-01T08:30:00Z",
      "2024-5-01T08:30:00Z",
      "2024-05-1T08:30:00Z",
      "2024-05-01T8:30:00Z",
      " 2024-05-01T08:30:00Z",
      "2024-05-01T08:30:00Z ",
      "2024-05-01T08:30:00ZZ",
      "2024-05-01T08:30:00,5Z",
      "2024-05-01T08:30:00.5a",
      "2024-05-01T08:30:00.5 Z",
      "2024/05/01T08:30:00Z",
      "2024-05-01T08-30-00Z",
      "+024-05-01T08:30:00Z",
      "2024-05-01T08:30:0aZ",
      "2024-05-01T08:30:00.-5Z",
      ("\xEF\xBC\x92"
       "024-05-01T08:30:00Z"),  // a full-width digit
  };
  for (const char* text : cases) {
    EXPECT_FALSE(parseDate(text).has_value()) << text;
  }
}

TEST(ParseDate, NineFractionDigitsAreTheMost) {
  EXPECT_TRUE(parseDate("2024-05-01T08:30:00.123456789Z").has_value());
  EXPECT_FALSE(parseDate("2024-05-01T08:30:00.1234567891Z").has_value());
}

TEST(ParseDate, KeepsOrderAndDistanceOfTimestampsOneMillisecondApart) {
  const auto first = parseDate("2024-05-01T08:30:59.999Z");
  const auto second = parseDate("2024-05-01T08:31:00Z");
  ASSERT_TRUE(first && second);
  EXPECT_LT(*first, *second);
  EXPECT_EQ(*second - *first, milliseconds{1});
}

TEST(FormatDate, WritesWholeSecondsInUtc) {
  using std::chrono::February;
  using std::chrono::January;
  using std::chrono::May;
  const Accepted cases[] = {
      {"2024-05-01T09:30:00Z", at(2024y / May / 1, 9h + 30min)},
      {"2024-05-01T09:30:00Z", at(2024y / May / 1, 9h + 30min, 999999us)},
      {"2024-02-29T23:59:59Z", at(2024y / February / 29, 86399s, 1us)},
      {"1970-01-01T00:00:00Z", Instant{}},
      // Before 1970 the fraction is floored too, so the second does not move forward.
      {"1969-12-31T23:59:59Z", Instant{} - 1us},
      {"1969-12-31T23:59:59Z", Instant{} - 1s},
      {"1900-01-01T00:00:00Z", at(1900y / January / 1)},
      {"0000-01-01T00:00:00Z", at(std::chrono::year{0} / January / 1)},
      {"-0001-12-31T23:59:59Z", at(std::chrono::year{0} / January / 1) - 1s},
      {"10000-01-01T00:00:00Z", at(std::chrono::year{10000} / January / 1)},
  };
  for (const Accepted& c : cases) {
    EXPECT_EQ(formatDate(c.instant), c.text);
  }
}

TEST(FormatDate, ReadsBackWhatItWrites) {
  Instant instant = at(std::chrono::year{1} / std::chrono::January / 1);
  const Instant last = at(std::chrono::year{9999} / std::chrono::December / 31);
  // A step that is not a whole number of days, so times of day vary too.
  const auto step = days{3331} + hours{7} + minutes{13} + seconds{17};
  for (; instant < last; instant += step) {
    const std::string text = formatDate(instant);
    const std::optional<Instant> parsed = parseDate(text);
    ASSERT_TRUE(parsed.has_value()) << text;
    EXPECT_EQ(*parsed, instant) << text;
  }
}

}  // namespace
}  // namespace pemrix
