// The pure conversions of the macOS adapters: UTF-16 text always becomes well-formed UTF-8,
// reference-date seconds map to the right instants in both directions, undefined date
// components become empty, and delays reach Dispatch in range.
#include "platform/apple/apple_conversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "protocol/unicode.h"

namespace pemrix::platform {
namespace {

using std::chrono::microseconds;
using std::chrono::seconds;

struct TextCase {
  const char* name;
  std::u16string units;
  std::string utf8;
};

TEST(AppleConversionsTest, Utf16BecomesWellFormedUtf8) {
  const TextCase cases[] = {
      {"empty", u"", ""},
      {"ascii", u"Ann Lee", "Ann Lee"},
      {"two-byte", u"Jos\u00E9", "Jos\xC3\xA9"},
      {"three-byte", u"\u20AC5",
       "\xE2\x82\xAC"
       "5"},
      {"last BMP scalar", u"\uFFFF", "\xEF\xBF\xBF"},
      {"surrogate pair", {0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},
      {"highest scalar", {0xDBFF, 0xDFFF}, "\xF4\x8F\xBF\xBF"},
      {"lone high at end", {u'a', 0xD83D}, "a\xEF\xBF\xBD"},
      {"high before non-surrogate",
       {0xD83D, u'b'},
       "\xEF\xBF\xBD"
       "b"},
      {"lone low",
       {u'a', 0xDE00, u'b'},
       "a\xEF\xBF\xBD"
       "b"},
      {"pair in wrong order", {0xDE00, 0xD83D}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"high, then a pair", {0xD83D, 0xD83D, 0xDE00}, "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
      {"two highs", {0xDBFF, 0xD800}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"nul kept", {u'a', 0, u'b'}, std::string("a\0b", 3)},
  };
  for (const TextCase& c : cases) {
    std::string out = utf8FromUtf16(c.units);
    EXPECT_EQ(out, c.utf8) << c.name;
    EXPECT_TRUE(unicode::isValidUtf8(out)) << c.name;
  }
}

TEST(AppleConversionsTest, EveryCodeUnitAloneIsWellFormed) {
  for (uint32_t unit = 0; unit <= 0xFFFF; ++unit) {
    std::u16string units(1, static_cast<char16_t>(unit));
    ASSERT_TRUE(unicode::isValidUtf8(utf8FromUtf16(units))) << unit;
  }
}

Instant unixSeconds(int64_t s) {
  return Instant(seconds(s));
}

struct DateCase {
  double referenceSeconds;
  Instant instant;
};

TEST(AppleConversionsTest, ReferenceSecondsMapToInstantsBothWays) {
  const DateCase cases[] = {
      {0, unixSeconds(978307200)},   // 2001-01-01T00:00:00Z
      {-978307200, unixSeconds(0)},  // the Unix epoch
      {0.5, unixSeconds(978307200) + microseconds(500000)},
      {-0.25, unixSeconds(978307199) + microseconds(750000)},  // 2000-12-31T23:59:59.75Z
      {757382400, unixSeconds(1735689600)},                    // 2025-01-01T00:00:00Z
      {757382400.000001, unixSeconds(1735689600) + microseconds(1)},
      {-63113904000, unixSeconds(-62135596800)},  // 0001-01-01T00:00:00Z
      {252423993600, unixSeconds(253402300800)},  // 10000-01-01T00:00:00Z
  };
  for (const DateCase& c : cases) {
    EXPECT_EQ(instantFromReferenceSeconds(c.referenceSeconds), c.instant) << c.referenceSeconds;
    EXPECT_DOUBLE_EQ(referenceSecondsFromInstant(c.instant), c.referenceSeconds);
  }
}

TEST(AppleConversionsTest, UnrepresentableReferenceSecondsGiveNothing) {
  for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity(), 1e13, -1e13, 1e300}) {
    EXPECT_FALSE(instantFromReferenceSeconds(bad)) << bad;
  }
  // The dates Foundation uses for "never" are far inside the range.
  EXPECT_TRUE(instantFromReferenceSeconds(63113904000.0));   // distantFuture
  EXPECT_TRUE(instantFromReferenceSeconds(-63114076800.0));  // distantPast
}

TEST(AppleConversionsTest, UndefinedDateComponentIsEmpty) {
  EXPECT_FALSE(dateComponentValue(kUndefinedDateComponent));
  EXPECT_EQ(kUndefinedDateComponent, 9223372036854775807);
  for (int64_t value : {int64_t{0}, int64_t{-1}, int64_t{2024}, kUndefinedDateComponent - 1,
                        std::numeric_limits<int64_t>::min()}) {
    EXPECT_EQ(dateComponentValue(value), value);
  }
}

TEST(AppleConversionsTest, DelaysReachDispatchInRange) {
  EXPECT_EQ(dispatchDelayNanoseconds(15.0), 15000000000);
  EXPECT_EQ(dispatchDelayNanoseconds(0.000001), 1000);
  EXPECT_EQ(dispatchDelayNanoseconds(0), 0);
  EXPECT_EQ(dispatchDelayNanoseconds(-3), 0);
  EXPECT_EQ(dispatchDelayNanoseconds(std::nan("")), 0);
  EXPECT_EQ(dispatchDelayNanoseconds(1e30), 1000000000000000000);
  EXPECT_EQ(dispatchDelayNanoseconds(std::numeric_limits<double>::infinity()), 1000000000000000000);
}

}  // namespace
}  // namespace pemrix::platform
