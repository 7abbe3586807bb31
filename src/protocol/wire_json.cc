// The wire JSON writer. One walk over the value serves both writing and measuring: it
// feeds a sink that either appends to a string or only counts bytes, so `encodedSize`
// and `writeJson` cannot disagree.
#include "protocol/wire_json.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "protocol/request_reader.h"
#include "protocol/unicode.h"

namespace pemrix {
namespace {

struct StringSink {
  std::string& text;
  void put(char c) { text.push_back(c); }
  void put(std::string_view piece) { text.append(piece); }
};

struct CountingSink {
  std::size_t size = 0;
  void put(char) { ++size; }
  void put(std::string_view piece) { size += piece.size(); }
};

// The escape for a byte that may not appear raw in a JSON string, or an empty view.
std::string_view shortEscape(unsigned char byte) {
  switch (byte) {
    case '"':
      return "\\\"";
    case '\\':
      return "\\\\";
    case '/':
      return "\\/";
    case '\b':
      return "\\b";
    case '\f':
      return "\\f";
    case '\n':
      return "\\n";
    case '\r':
      return "\\r";
    case '\t':
      return "\\t";
    default:
      return {};
  }
}

template <typename Sink>
void putEscape(Sink& out, unsigned char byte) {
  const std::string_view escape = shortEscape(byte);
  if (!escape.empty()) {
    out.put(escape);
    return;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  const char control[] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xF]};
  out.put(std::string_view(control, sizeof control));
}

bool needsEscape(unsigned char byte) {
  return byte < 0x20 || byte == '"' || byte == '\\' || byte == '/';
}

// Writes `text` as a JSON string; false when it is not well-formed UTF-8.
template <typename Sink>
bool putString(Sink& out, std::string_view text) {
  if (!unicode::isValidUtf8(text)) return false;
  out.put('"');
  std::size_t runStart = 0;
  for (std::size_t pos = 0; pos < text.size(); ++pos) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (!needsEscape(byte)) continue;
    out.put(text.substr(runStart, pos - runStart));
    putEscape(out, byte);
    runStart = pos + 1;
  }
  out.put(text.substr(runStart));
  out.put('"');
  return true;
}

template <typename Sink, typename Number>
void putInteger(Sink& out, Number value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.put(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
}

// Doubles are written as std::to_chars(first, last, value) writes them: the shortest digits
// that read back to the same double (the nearest such when several are as short), in fixed
// notation unless scientific is shorter. Floating-point to_chars itself cannot be used: Apple's
// libc++ offers it from macOS 13.3, and the product runs on macOS 12. nlohmann/json's writer
// (Grisu2, what dump() uses) would change bytes: it chooses fixed notation by exponent
// (0.0001 rather than 1e-04, 9.223372036854776e+18 rather than 9223372036854775808) and its
// digits are neither always the shortest nor the nearest (one random double in about 860:
// -3.5561693938148423e-26 for -3.556169393814842e-26). So the digits come from the C library,
// which every macOS and Linux has and which is exact on both (glibc, and Apple's gdtoa):
// printf's "%.*e" rounds to a given number of digits, and the shortest number of digits that
// reads back is found by bisection, each candidate read with `jsonNumberValue`, the reader of
// request numbers. That takes microseconds where to_chars took tens of nanoseconds, but only
// for fractions and whole numbers beyond int64_t, which no answer of the bridge carries
// (today none carries a number at all).

// A positive, finite double to `length` significant digits: about digits[0].digits[1...]
// times 10 to the power `exponent`.
struct Decimal {
  char digits[24] = {};
  int length = 0;
  int exponent = 0;
};

constexpr int kMaxDigits = 17;  // enough for every double to read back (max_digits10)

// `value` correctly rounded to `precision` significant digits (printf rounds exactly, ties to
// even). The decimal point that "%e" writes depends on the locale, so only digits are kept.
Decimal roundedDecimal(double value, int precision) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*e", precision - 1, value);
  Decimal decimal;
  const char* c = text;
  for (; *c != '\0' && *c != 'e'; ++c) {
    if (*c >= '0' && *c <= '9') decimal.digits[decimal.length++] = *c;
  }
  decimal.exponent = *c == 'e' ? std::atoi(c + 1) : 0;
  return decimal;
}

// The decimal with as many digits, one unit of the last digit above `decimal`.
Decimal nextDecimalUp(Decimal decimal) {
  int i = decimal.length - 1;
  while (i >= 0 && decimal.digits[i] == '9') decimal.digits[i--] = '0';
  if (i >= 0) {
    ++decimal.digits[i];
  } else {
    decimal.digits[0] = '1';
    ++decimal.exponent;
  }
  return decimal;
}

bool readsBack(const Decimal& decimal, double value) {
  char text[48];
  std::size_t size = 0;
  text[size++] = decimal.digits[0];
  if (decimal.length > 1) {
    text[size++] = '.';
    std::memcpy(text + size, decimal.digits + 1, static_cast<std::size_t>(decimal.length - 1));
    size += static_cast<std::size_t>(decimal.length - 1);
  }
  text[size++] = 'e';
  const auto end = std::to_chars(text + size, text + sizeof text, decimal.exponent).ptr;
  return protocol_detail::jsonNumberValue(
             std::string_view(text, static_cast<std::size_t>(end - text))) == value;
}

// True when the next double below `value` is nearer than the next above: a power of two,
// other than the smallest normal double (below it, subnormals keep the same spacing).
bool hasNearerNeighbourBelow(double value) {
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  const uint64_t biasedExponent = (bits >> 52) & 0x7FF;
  return fraction == 0 && biasedExponent > 1;
}

// The `precision`-digit decimal nearest to `value` that reads back to it, if one does.
// The decimal nearest to `value` does, if any does, except where the reading interval is
// lopsided (a power of two): then the nearest may be below and out, the next one above in.
bool readableDecimal(double value, int precision, Decimal& found) {
  const Decimal nearest = roundedDecimal(value, precision);
  if (readsBack(nearest, value)) {
    found = nearest;
    return true;
  }
  if (!hasNearerNeighbourBelow(value)) return false;
  const Decimal above = nextDecimalUp(nearest);
  if (!readsBack(above, value)) return false;
  found = above;
  return true;
}

// The shortest decimal that reads back to `value` (positive, finite), the nearest of those.
// A decimal of n digits that reads back has one of n + 1 digits that does, so the shortest
// length is found by bisection.
Decimal shortestDecimal(double value) {
  Decimal shortest = roundedDecimal(value, kMaxDigits);
  int low = 1;
  int high = kMaxDigits;  // `shortest` has `high` digits
  while (low < high) {
    const int middle = (low + high) / 2;
    Decimal candidate;
    if (readableDecimal(value, middle, candidate)) {
      shortest = candidate;
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  while (shortest.length > 1 && shortest.digits[shortest.length - 1] == '0') --shortest.length;
  return shortest;
}

// Writes `magnitude` (positive, finite, `decimal` its shortest digits) as to_chars does:
// fixed notation unless scientific is shorter. A whole number in fixed notation has its
// exact digits (9223372036854775808, not 9223372036854776000), as printf's "%.0f" writes them.
template <typename Sink>
void putDecimal(Sink& out, const Decimal& decimal, double magnitude) {
  const int length = decimal.length;
  const int exponent = decimal.exponent;
  const int lastDigitExponent = exponent - (length - 1);
  const int exponentDigits = std::abs(exponent) >= 100 ? 3 : 2;
  const int scientificLength = length + (length > 1 ? 1 : 0) + 2 + exponentDigits;
  int fixedLength = 0;
  if (lastDigitExponent >= 0) {
    fixedLength = length + lastDigitExponent;  // ddd000
  } else if (exponent >= 0) {
    fixedLength = length + 1;  // dd.ddd
  } else {
    fixedLength = length + 1 - exponent;  // 0.000ddd
  }
  const std::string_view digits(decimal.digits, static_cast<std::size_t>(length));
  if (fixedLength <= scientificLength) {
    if (lastDigitExponent >= 0) {
      char text[48];
      const int size = std::snprintf(text, sizeof text, "%.0f", magnitude);
      out.put(std::string_view(text, static_cast<std::size_t>(size)));
    } else if (exponent >= 0) {
      const auto whole = static_cast<std::size_t>(exponent) + 1;
      out.put(digits.substr(0, whole));
      out.put('.');
      out.put(digits.substr(whole));
    } else {
      out.put(std::string_view("0."));
      for (int i = -1; i > exponent; --i) out.put('0');
      out.put(digits);
    }
    return;
  }
  out.put(digits[0]);
  if (length > 1) {
    out.put('.');
    out.put(digits.substr(1));
  }
  const char exponentText[] = {'e', exponent < 0 ? '-' : '+',
                               static_cast<char>('0' + std::abs(exponent) / 100),
                               static_cast<char>('0' + std::abs(exponent) / 10 % 10),
                               static_cast<char>('0' + std::abs(exponent) % 10)};
  out.put(std::string_view(exponentText, 2));
  out.put(std::string_view(exponentText + 5 - exponentDigits,
                           static_cast<std::size_t>(exponentDigits)));
}

// Writes a double: whole numbers in the range of int64_t like integers, anything else in
// the shortest form that reads back to the same double; false when it is not finite.
template <typename Sink>
bool putDouble(Sink& out, double value) {
  if (!std::isfinite(value)) return false;
  constexpr double kTwoTo63 = 9223372036854775808.0;
  if (value == std::trunc(value) && value >= -kTwoTo63 && value < kTwoTo63) {
    putInteger(out, static_cast<int64_t>(value));
    return true;
  }
  const double magnitude = std::fabs(value);
  if (value < 0) out.put('-');
  putDecimal(out, shortestDecimal(magnitude), magnitude);
  return true;
}

template <typename Sink>
bool putValue(Sink& out, const Json& value);

template <typename Sink>
bool putObject(Sink& out, const Json::object_t& object) {
  out.put('{');
  bool first = true;
  for (const auto& [key, member] : object) {
    if (!first) out.put(',');
    first = false;
    if (!putString(out, key)) return false;
    out.put(':');
    if (!putValue(out, member)) return false;
  }
  out.put('}');
  return true;
}

template <typename Sink>
bool putArray(Sink& out, const Json::array_t& array) {
  out.put('[');
  for (std::size_t i = 0; i < array.size(); ++i) {
    if (i > 0) out.put(',');
    if (!putValue(out, array[i])) return false;
  }
  out.put(']');
  return true;
}

template <typename Sink>
bool putValue(Sink& out, const Json& value) {
  switch (value.type()) {
    case Json::value_t::object:
      return putObject(out, value.get_ref<const Json::object_t&>());
    case Json::value_t::array:
      return putArray(out, value.get_ref<const Json::array_t&>());
    case Json::value_t::string:
      return putString(out, value.get_ref<const Json::string_t&>());
    case Json::value_t::boolean:
      out.put(value.get<bool>() ? std::string_view("true") : std::string_view("false"));
      return true;
    case Json::value_t::null:
      out.put(std::string_view("null"));
      return true;
    case Json::value_t::number_integer:
      putInteger(out, value.get<Json::number_integer_t>());
      return true;
    case Json::value_t::number_unsigned:
      putInteger(out, value.get<Json::number_unsigned_t>());
      return true;
    case Json::value_t::number_float:
      return putDouble(out, value.get<Json::number_float_t>());
    case Json::value_t::binary:
    case Json::value_t::discarded:
      return false;
  }
  return false;
}

}  // namespace

std::optional<std::string> writeJson(const Json& value) {
  std::string text;
  StringSink sink{text};
  if (!putValue(sink, value)) return std::nullopt;
  return text;
}

std::optional<std::size_t> encodedSize(const Json& value) {
  CountingSink sink;
  if (!putValue(sink, value)) return std::nullopt;
  return sink.size;
}

std::optional<std::string> encodeMessage(const Json& message) {
  std::optional<std::string> text = writeJson(message);
  if (!text || text->size() > limits::kMaxMessageBytes) return std::nullopt;
  text->push_back('\n');
  return text;
}

}  // namespace pemrix
