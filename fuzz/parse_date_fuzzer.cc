// Fuzz target: parseDate. An accepted text has the fixed layout
// YYYY-MM-DDTHH:MM:SS[.f{1,9}]Z and names a date and time that exist; writing the instant
// back gives the first 19 characters and "Z", and the fraction is the instant's fraction
// (to the microsecond). Conversely every text of that layout naming an existing date and
// time is accepted.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "protocol/native_request.h"

namespace pemrix {
namespace {

bool digitsAt(std::string_view text, std::size_t pos, std::size_t count) {
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

int number(std::string_view text, std::size_t pos, std::size_t count) {
  int value = 0;
  for (std::size_t i = pos; i < pos + count; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

// The layout, checked character by character.
bool hasLayout(std::string_view text) {
  if (text.size() < 20 || text.size() > 30 || text.size() == 21) return false;
  static constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:dd";
  for (std::size_t i = 0; i < kShape.size(); ++i) {
    if (kShape[i] == 'd' ? !digitsAt(text, i, 1) : text[i] != kShape[i]) return false;
  }
  if (text.back() != 'Z') return false;
  if (text.size() == 20) return true;
  return text[19] == '.' && digitsAt(text, 20, text.size() - 21);
}

bool isLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Whether the fields name a date and time that exist (proleptic Gregorian, no leap second).
bool exists(std::string_view text) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int year = number(text, 0, 4), month = number(text, 5, 2), day = number(text, 8, 2);
  if (month < 1 || month > 12 || day < 1) return false;
  const int days = kDays[month - 1] + (month == 2 && isLeapYear(year) ? 1 : 0);
  return day <= days && number(text, 11, 2) <= 23 && number(text, 14, 2) <= 59 &&
         number(text, 17, 2) <= 59;
}

// The fraction digits as microseconds, digits past the sixth dropped.
int64_t fractionMicros(std::string_view text) {
  if (text.size() == 20) return 0;
  std::string digits(text.substr(20, text.size() - 21));
  digits.resize(6, '0');
  return number(digits, 0, 6);
}

}  // namespace
}  // namespace pemrix

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pemrix;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::optional<Instant> instant = parseDate(text);
  const bool valid = hasLayout(text) && exists(text);
  FUZZ_CHECK(instant.has_value() == valid);
  if (!instant) return 0;
  FUZZ_CHECK(formatDate(*instant) == std::string(text.substr(0, 19)) + "Z");
  const auto fraction = *instant - std::chrono::floor<std::chrono::seconds>(*instant);
  FUZZ_CHECK(fraction.count() == fractionMicros(text));
  return 0;
}
