// Numbers on the wire without floating-point std::to_chars and std::from_chars, which Apple's
// libc++ does not offer on macOS 12: the text the writer gives each form of double and the
// numbers the request reader accepts, fixed as they were when those functions made them, and,
// where the standard library has them, compared with them over many values.
#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "protocol/request_reader.h"
#include "protocol/wire_json.h"

namespace pemrix {
namespace {

using protocol_detail::jsonNumberValue;
using protocol_detail::readRequestFields;

bool sameDouble(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;  // tells -0 from 0
}

// What the writer gave each form with std::to_chars (libstdc++ 12), byte for byte.
struct WrittenDouble {
  double value;
  const char* text;
};

constexpr WrittenDouble kWrittenDoubles[] = {
    {0.1, "0.1"},
    {0.3, "0.3"},
    {1.5, "1.5"},
    {-0.5, "-0.5"},
    {2.0 / 3, "0.6666666666666666"},
    {100.5, "100.5"},
    {-2.25e-7, "-2.25e-07"},
    {1e-7, "1e-07"},
    {1e-10, "1e-10"},
    {1.25e-100, "1.25e-100"},
    {0.001, "0.001"},   // fixed and scientific as long: fixed
    {0.0001, "1e-04"},  // scientific shorter
    {0.0012345, "0.0012345"},
    {0.0001234, "0.0001234"},
    {0.00001234, "1.234e-05"},
    {1.2345e-5, "1.2345e-05"},
    {123456.7, "123456.7"},
    {1234567.5, "1234567.5"},
    {1000000000000000.5, "1000000000000000.5"},
    {4503599627370495.5, "4503599627370495.5"},
    {1e300, "1e+300"},
    {1.7976931348623157e308, "1.7976931348623157e+308"},
    {-1.7976931348623157e308, "-1.7976931348623157e+308"},
    {2.2250738585072014e-308, "2.2250738585072014e-308"},  // smallest normal
    {5e-324, "5e-324"},                                    // smallest subnormal
    {7.120236347223045e-307,
     "7.120236347223045e-307"},  // 2^-1017: the nearest 16 digits do not read back
    {9223372036854775808.0, "9223372036854775808"},  // 2^63, fixed: exact digits
    {-18446744073709551616.0, "-18446744073709551616"},
    {1180591620717411303424.0, "1180591620717411303424"},  // 2^70: as long either way, fixed
    {9444732965739290427392.0, "9.44473296573929e+21"},    // 2^73
    {9.5e18, "9.5e+18"},
    {1e19, "1e+19"},
    {1e21, "1e+21"},
    {1e22, "1e+22"},
    {1e23, "1e+23"},
    {-1e22, "-1e+22"},
    // Whole numbers within int64_t are written as integers, negative zero as 0.
    {3.0, "3"},
    {-0.0, "0"},
    {-9223372036854775808.0, "-9223372036854775808"},
    {9007199254740992.0, "9007199254740992"},
};

TEST(WireNumbers, WritesDoublesAsToCharsDid) {
  for (const WrittenDouble& c : kWrittenDoubles) {
    EXPECT_EQ(writeJson(Json(c.value)), std::string(c.text)) << c.text;
    EXPECT_EQ(encodedSize(Json(c.value)), std::strlen(c.text)) << c.text;
  }
  EXPECT_EQ(writeJson(Json{{"a", 0.0001}, {"b", Json::array({1e22, -2.5})}}),
            std::string(R"({"a":1e-04,"b":[1e+22,-2.5]})"));
}

// What the request reader made of each number with std::from_chars: the double, or a refusal.
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

TEST(WireNumbers, ReadsNumbersAsFromCharsDid) {
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

// With a locale whose decimal point is a comma, numbers read and write as they do in "C".
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
  std::vector<std::string> written;
  for (const WrittenDouble& c : kWrittenDoubles)
    written.push_back(writeJson(Json(c.value)).value());
  std::vector<std::optional<double>> read;
  for (const ReadNumber& c : kReadNumbers) read.push_back(jsonNumberValue(c.text));
  std::setlocale(LC_ALL, "C");
  EXPECT_TRUE(comma) << found;
  for (std::size_t i = 0; i < written.size(); ++i) EXPECT_EQ(written[i], kWrittenDoubles[i].text);
  for (std::size_t i = 0; i < read.size(); ++i) {
    ASSERT_EQ(read[i].has_value(), kReadNumbers[i].value.has_value()) << kReadNumbers[i].text;
    if (read[i]) {
      EXPECT_TRUE(sameDouble(*read[i], *kReadNumbers[i].value)) << kReadNumbers[i].text;
    }
  }
}

#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
// Where the standard library has floating-point to_chars and from_chars (libstdc++ has),
// the writer and the reader agree with them on many values.

std::string toCharsText(double value) {
  constexpr double kTwoTo63 = 9223372036854775808.0;
  if (value == std::trunc(value) && value >= -kTwoTo63 && value < kTwoTo63) {
    return std::to_string(static_cast<long long>(value));
  }
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

TEST(WireNumbers, WritesWhatToCharsWrites) {
  std::vector<double> values;
  std::mt19937_64 random(20261209);
  for (int i = 0; i < 100000; ++i) {
    const uint64_t bits = random();
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    if (std::isfinite(value)) values.push_back(value);
  }
  for (int exponent = -1074; exponent <= 1023; ++exponent) {
    const double power = std::ldexp(1.0, exponent);
    values.insert(values.end(), {power, std::nextafter(power, 0.0),
                                 std::nextafter(power, std::numeric_limits<double>::infinity())});
  }
  for (int exponent = -325; exponent <= 308; ++exponent) {
    for (const char* digits : {"1", "3", "5", "99", "12345"}) {
      const std::string text = std::string(digits) + "e" + std::to_string(exponent);
      double value = 0;
      std::from_chars(text.data(), text.data() + text.size(), value);
      values.insert(values.end(), {value, std::nextafter(value, 0.0)});
    }
  }
  for (int i = 0; i < 20000; ++i) {  // whole numbers beyond int64_t, short fractions
    values.push_back(
        std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 30)));
    values.push_back(static_cast<double>(random() % 2000000) / 1000.0);
    values.push_back(1.0 / static_cast<double>(1 + random() % 100000));
  }
  int mismatches = 0;
  for (const double value : values) {
    for (const double signedValue : {value, -value}) {
      if (signedValue == 0 || !std::isfinite(signedValue)) continue;
      const std::string expected = toCharsText(signedValue);
      const std::optional<std::string> written = writeJson(Json(signedValue));
      if (written != expected && ++mismatches <= 10) {
        ADD_FAILURE() << "wrote " << written.value_or("nothing") << ", to_chars " << expected;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

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
