// Pure conversions for the macOS adapters: UTF-16 to UTF-8 with replacement, reference-date
// seconds, undefined date components and Dispatch delays.
#include "platform/apple/apple_conversions.h"

#include "common/utf8.h"

#include <cmath>

namespace pemrix::platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr int64_t kMicrosPerSecond = 1000000;
// Seconds that an Instant holds comfortably on either side of the reference date.
constexpr double kLongestReferenceSeconds = 9e12;

bool isHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::string utf8FromUtf16(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (std::size_t at = 0; at < units.size(); ++at) {
    const char16_t unit = units[at];
    if (isHighSurrogate(unit) && at + 1 < units.size() && isLowSurrogate(units[at + 1])) {
      char32_t scalar = 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (units[at + 1] - 0xDC00);
      appendUtf8(out, scalar);
      ++at;
    } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
      appendUtf8(out, kReplacement);
    } else {
      appendUtf8(out, unit);
    }
  }
  return out;
}

std::optional<Instant> instantFromReferenceSeconds(double seconds) {
  if (!std::isfinite(seconds) || std::fabs(seconds) > kLongestReferenceSeconds) {
    return std::nullopt;
  }
  // Whole seconds and the fraction apart, so that large dates keep their microseconds.
  const double whole = std::floor(seconds);
  const auto micros = static_cast<int64_t>(std::llround((seconds - whole) * kMicrosPerSecond));
  const auto since = static_cast<int64_t>(whole) + kReferenceDateUnixSeconds;
  return Instant(std::chrono::microseconds(since * kMicrosPerSecond + micros));
}

double referenceSecondsFromInstant(Instant instant) {
  const int64_t micros =
      instant.time_since_epoch().count() - kReferenceDateUnixSeconds * kMicrosPerSecond;
  // Whole seconds and the fraction apart, each exact as a double, then one rounding.
  const int64_t whole = micros / kMicrosPerSecond;
  const int64_t fraction = micros % kMicrosPerSecond;
  return static_cast<double>(whole) + static_cast<double>(fraction) / kMicrosPerSecond;
}

std::optional<int64_t> dateComponentValue(int64_t raw) {
  if (raw == kUndefinedDateComponent) return std::nullopt;
  return raw;
}

int64_t dispatchDelayNanoseconds(double seconds) {
  if (!(seconds > 0)) return 0;
  if (seconds > kLongestDelaySeconds) seconds = kLongestDelaySeconds;
  return static_cast<int64_t>(std::llround(seconds * 1e9));
}

}  // namespace pemrix::platform
