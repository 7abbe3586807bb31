// Timestamps on the wire: reading the one accepted request form
// (YYYY-MM-DDTHH:MM:SS, an optional fraction of 1 to 9 digits, then Z) and writing the
// whole-second form of results. Both use the proleptic Gregorian calendar in UTC, with
// year 0 before year 1.
#include <array>
#include <chrono>

#include "common/timestamp.h"

namespace pemrix {
namespace {

namespace chrono = std::chrono;

constexpr std::size_t kShortestTimestamp = 20;  // no fraction
constexpr std::size_t kLongestTimestamp = 30;   // nine fraction digits
constexpr std::size_t kFractionStart = 20;      // first digit after the full stop
constexpr int kMicrosecondDigits = 6;

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// The number written by `count` digits at `pos`, or -1 when one of them is not a digit.
int readDigits(std::string_view text, std::size_t pos, std::size_t count) {
  int value = 0;
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (!isDigit(text[i])) return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// True when `text` has the separators of the layout at their places.
bool hasSeparators(std::string_view text) {
  return text[4] == '-' && text[7] == '-' && text[10] == 'T' && text[13] == ':' &&
         text[16] == ':' && text.back() == 'Z' &&
         (text.size() == kShortestTimestamp || text[19] == '.');
}

// The fraction digits between the full stop and the Z as microseconds (digits past the
// sixth are dropped), or -1 when one of them is not a digit.
int64_t readFraction(std::string_view text) {
  const std::size_t digits = text.size() - 1 - kFractionStart;
  int64_t micros = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    const char c = text[kFractionStart + i];
    if (!isDigit(c)) return -1;
    if (i < kMicrosecondDigits) micros = micros * 10 + (c - '0');
  }
  for (std::size_t i = digits; i < kMicrosecondDigits; ++i) micros *= 10;
  return micros;
}

// Writes `value` as `width` digits at `out` (value is at most `width` digits).
void writeDigits(char* out, int value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
}

// The year as written in results: four digits for years 0 to 9999, otherwise a sign for
// years before 0 and as many digits as needed.
std::string formatYear(int year) {
  if (year >= 0 && year <= 9999) {
    std::string digits(4, '0');
    writeDigits(digits.data(), year, 4);
    return digits;
  }
  std::string digits = std::to_string(year < 0 ? -year : year);
  if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
  return year < 0 ? "-" + digits : digits;
}

}  // namespace

std::optional<Instant> parseDate(std::string_view text) {
  if (text.size() < kShortestTimestamp || text.size() > kLongestTimestamp) return std::nullopt;
  if (text.size() == kShortestTimestamp + 1 || !hasSeparators(text)) return std::nullopt;
  const int year = readDigits(text, 0, 4);
  const int month = readDigits(text, 5, 2);
  const int day = readDigits(text, 8, 2);
  const int hour = readDigits(text, 11, 2);
  const int minute = readDigits(text, 14, 2);
  const int second = readDigits(text, 17, 2);
  const int64_t micros = text.size() == kShortestTimestamp ? 0 : readFraction(text);
  if (year < 0 || month < 0 || day < 0 || micros < 0) return std::nullopt;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    return std::nullopt;
  }
  const chrono::year_month_day date{chrono::year{year}, chrono::month{static_cast<unsigned>(month)},
                                    chrono::day{static_cast<unsigned>(day)}};
  if (!date.ok()) return std::nullopt;
  return Instant{chrono::sys_days{date}} + chrono::hours{hour} + chrono::minutes{minute} +
         chrono::seconds{second} + chrono::microseconds{micros};
}

std::string formatDate(Instant instant) {
  const auto seconds = chrono::floor<chrono::seconds>(instant);
  const auto days = chrono::floor<chrono::days>(seconds);
  const chrono::year_month_day date{days};
  const chrono::hh_mm_ss<chrono::seconds> time{seconds - days};
  std::array<char, 16> rest;  // -MM-DDTHH:MM:SSZ
  rest = {'-', 0, 0, '-', 0, 0, 'T', 0, 0, ':', 0, 0, ':', 0, 0, 'Z'};
  writeDigits(&rest[1], static_cast<int>(static_cast<unsigned>(date.month())), 2);
  writeDigits(&rest[4], static_cast<int>(static_cast<unsigned>(date.day())), 2);
  writeDigits(&rest[7], static_cast<int>(time.hours().count()), 2);
  writeDigits(&rest[10], static_cast<int>(time.minutes().count()), 2);
  writeDigits(&rest[13], static_cast<int>(time.seconds().count()), 2);
  return formatYear(static_cast<int>(date.year())) + std::string(rest.data(), rest.size());
}

}  // namespace pemrix
