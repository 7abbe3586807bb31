// Pure conversions that the macOS adapters apply to values from Foundation, kept free of
// Objective-C so that they are built and tested on every platform:
//   - UTF-16 text (NSString) to well-formed UTF-8, every unpaired surrogate replaced;
//   - Foundation's reference-date seconds (NSDate) to and from Instant;
//   - raw date-component values (NSDateComponents) to optional values;
//   - the delay of a delayed main-queue task in Dispatch's nanoseconds.
//
// All functions are pure and thread-safe.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "common/instant.h"

namespace pemrix::platform {

// UTF-8 of `units`. A high surrogate followed by a low surrogate forms one scalar; every
// other surrogate (a lone one, or a pair in the wrong order) becomes U+FFFD, so the result
// is always well-formed UTF-8. U+0000 is kept.
std::string utf8FromUtf16(std::u16string_view units);

// 2001-01-01T00:00:00Z, the moment from which Foundation counts a date's seconds, in
// seconds since the Unix epoch.
inline constexpr int64_t kReferenceDateUnixSeconds = 978307200;

// The instant `seconds` after the reference date (negative: before it), to the nearest
// microsecond. Nothing when `seconds` is not finite or lies beyond about 285,000 years.
std::optional<Instant> instantFromReferenceSeconds(double seconds);

// The seconds from the reference date to `instant` (negative when it lies before).
double referenceSecondsFromInstant(Instant instant);

// The value that Foundation stores in a date component that was never set
// (NSDateComponentUndefined, which is NSIntegerMax on 64-bit systems).
inline constexpr int64_t kUndefinedDateComponent = std::numeric_limits<int64_t>::max();

// A date component's value, or nothing when it is undefined.
std::optional<int64_t> dateComponentValue(int64_t raw);

// Longest delay that a delayed task may ask for; longer delays are cut to it (about 31
// years, far beyond the life of the process, and far from overflowing Dispatch's clock).
inline constexpr double kLongestDelaySeconds = 1e9;

// The delay of a delayed task in nanoseconds, as Dispatch counts it: negative and NaN
// delays run at once, and delays beyond kLongestDelaySeconds are cut to it.
int64_t dispatchDelayNanoseconds(double seconds);

}  // namespace pemrix::platform
