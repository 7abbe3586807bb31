// Numbers in requests without floating-point std::from_chars, which Apple's libc++ does not
// offer on macOS 12: the double the request reader makes of each number text, or its
// refusal, fixed in a table and, where the standard library has from_chars, compared with it
// over many values.
#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "protocol/request_reader.h"

namespace pemrix {
namespace {

using protocol_detail::jsonNumberValue;
using protocol_detail::readRequestFields;

bool sameDouble(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;  // tells -0 from 0
}

// Number texts and the double each reads as (std::from_chars's reading), or a refusal.
struct ReadNumber {
  const char* text;
  std::optional<double> value;
};

const ReadNumber kReadNumbers[] = {
    {"0", 0.0},
    {"-0", -0.0},
    {"7", 7.0},
    {"100", 100.0},
    {"7.0", 7.0},
    {"1e2", 100.0},
    {"1E+2", 100.0},
    {"700e-2", 7.0},
    {"0.7e1", 7.0},
    {"100.0000000000000001", 100.0},
    {"2.9999999999999999", 3.0},
    {"1.5", 1.5},
    {"-12.25", -12.25},
    {"-0.0", -0.0},
    {"1e308", 1e308},
    {"1.7976931348623158e308", 1.7976931348623157e308},  // rounds down to the largest double
    {"1.7976931348623159e308", std::nullopt},            // rounds up to infinity
    {"1e309", std::nullopt},
    {"-1e309", std::nullopt},
    {"1e-300", 1e-300},
    {"4.9e-324", 4.9406564584124654e-324},
    {"2.4703282292062328e-324", 4.9406564584124654e-324},  // just over half the smallest
    {"2.4703282292062327e-324", std::nullopt},             // rounds to zero
    {"1e-400", std::nullopt},
    {"-1e-400", std::nullopt},
    {"0e999999", 0.0},
    {"0.000e-999999", 0.0},
    {"1e99999999999999999999", std::nullopt},
    {"9007199254740993", 9007199254740992.0},  // 2^53 + 1: ties to even
    {"18446744073709551616", 18446744073709551616.0},
    {"123456789012345", 123456789012345.0},  // fifteen digits: no call to the C library
    {"1234567890123456", 1234567890123456.0},
};

TEST(WireNumbers, ReadsNumbersToTheNearestDouble) {
  for (const ReadNumber& c : kReadNumbers) {
    const std::optional<double> value = jsonNumberValue(c.text);
    ASSERT_EQ(value.has_value(), c.value.has_value()) << c.text;
    const std::optional<protocol_detail::RequestFields> fields =
        readRequestFields(std::string(R"({"limit":)") + c.text + "}");
    ASSERT_EQ(fields.has_value(), c.value.has_value()) << c.text;
    if (!c.value) continue;
    EXPECT_TRUE(sameDouble(*value, *c.value)) << c.text;
    EXPECT_TRUE(sameDouble(fields->limit, *c.value)) << c.text;
  }
}

TEST(WireNumbers, ReadsNumbersLongerThanAnyBuffer) {
  const std::string zeros(10000, '0');
  EXPECT_EQ(jsonNumberValue("1" + zeros + "e-10000"), 1.0);
  EXPECT_EQ(jsonNumberValue("0." + zeros + "7e10001"), 7.0);
  EXPECT_EQ(jsonNumberValue("1" + zeros), std::nullopt);         // 1e10000
  EXPECT_EQ(jsonNumberValue("0." + zeros + "1"), std::nullopt);  // 1e-10001
  EXPECT_EQ(jsonNumberValue("-0." + zeros), std::optional<double>(-0.0));
  // The number is read from its view only, not from what follows it in the line.
  const std::string line = R"({"limit":5,"id":"0x12"})";
  EXPECT_EQ(jsonNumberValue(std::string_view(line).substr(9, 1)), 5.0);
}

// With a locale whose decimal point is a comma, numbers read as they do in "C".
TEST(WireNumbers, LocaleDoesNotChangeNumbers) {
  const char* found = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      found = name;
      break;
    }
  }
  if (found == nullptr) GTEST_SKIP() << "no locale with a decimal comma is installed";
  const bool comma = std::localeconv()->decimal_point[0] == ',';
  std::vector<std::optional<double>> read;
  for (const ReadNumber& c : kReadNumbers) read.push_back(jsonNumberValue(c.text));
  std::setlocale(LC_ALL, "C");
  EXPECT_TRUE(comma) << found;
  for (std::size_t i = 0; i < read.size(); ++i) {
    ASSERT_EQ(read[i].has_value(), kReadNumbers[i].value.has_value()) << kReadNumbers[i].text;
    if (read[i]) {
      EXPECT_TRUE(sameDouble(*read[i], *kReadNumbers[i].value)) << kReadNumbers[i].text;
    }
  }
}

#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
// Where the standard library has floating-point from_chars (libstdc++ has), the reader
// agrees with it on many values.

TEST(WireNumbers, ReadsWhatFromCharsReads) {
  std::mt19937_64 random(20261210);
  const auto digit = [&random] { return static_cast<char>('0' + random() % 10); };
  int mismatches = 0;
  for (int i = 0; i < 100000; ++i) {
    std::string text = random() % 4 == 0 ? "-" : "";
    const int wholeDigits = 1 + static_cast<int>(random() % 20);
    text += wholeDigits == 1 ? digit() : static_cast<char>('1' + random() % 9);
    for (int k = 1; k < wholeDigits; ++k) text += digit();
    if (random() % 2 == 0) {
      text += '.';
      for (int k = 0, n = 1 + static_cast<int>(random() % 25); k < n; ++k) text += digit();
    }
    if (random() % 3 != 0) {
      text += random() % 2 == 0 ? 'e' : 'E';
      text += random() % 3 == 0 ? "+" : random() % 2 == 0 ? "-" : "";
      text += std::to_string(random() % 4 == 0 ? random() % 400 : random() % 30);
    }
    double expected = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), expected);
    const bool accepted = result.ec == std::errc() && result.ptr == text.data() + text.size();
    const std::optional<double> value = jsonNumberValue(text);
    const bool same = accepted == value.has_value() && (!accepted || sameDouble(*value, expected));
    if (!same && ++mismatches <= 10) {
      ADD_FAILURE() << text << ": read " << (value ? std::to_string(*value) : "nothing")
                    << ", from_chars " << (accepted ? std::to_string(expected) : "nothing");
    }
  }
  EXPECT_EQ(mismatches, 0);
}
#endif

}  // namespace
}  // namespace pemrix
