// A reader for the one JSON shape a request can have: an object whose members are texts,
// numbers and arrays of texts. Everything outside that shape is refused at the first byte
// that leaves it, so the reader never nests, never recurses and builds no document; true,
// false, null and objects as values are refused because no request member takes them.
// Within the shape the grammar is RFC 8259's, strictly: no comments, no trailing commas,
// no leading zeros, escapes checked, surrogates paired, UTF-8 well-formed.
#include "protocol/request_reader.h"

#include "common/utf8.h"

#include <locale.h>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#if defined(__APPLE__)
#include <xlocale.h>  // strtod_l and newlocale; glibc declares both in <stdlib.h> and <locale.h>
#endif

#include "protocol/utf8_scalar.h"

namespace pemrix::protocol_detail {
namespace {

constexpr std::array<std::string_view, 8> kKeyNames = {"id",    "command", "entity", "sourceIds",
                                                       "start", "end",     "limit",  "query"};

std::optional<RequestKey> keyFromName(std::string_view name) {
  for (std::size_t i = 0; i < kKeyNames.size(); ++i) {
    if (kKeyNames[i] == name) return static_cast<RequestKey>(i);
  }
  return std::nullopt;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// The C locale, made once: strtod_l then reads "." as the decimal point whatever locale
// the process has set. Nothing when it could not be made (out of memory at the first call).
locale_t cLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return locale;
}

// True when the significand of the JSON number `text` (its digits before any exponent) has
// a digit other than zero, so that a value of zero can only mean that it underflowed.
bool hasNonZeroSignificand(std::string_view text) {
  for (const char c : text) {
    if (c == 'e' || c == 'E') return false;
    if (c >= '1' && c <= '9') return true;
  }
  return false;
}

// Integers of up to 15 digits are below 2^53, so each is exactly one double.
constexpr std::size_t kExactIntegerDigits = 15;

// Reads one request line from the start; every method returns false at the first byte
// that is not part of the request shape.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  bool readRequest(RequestFields& fields) {
    skipSpace();
    if (!consume('{')) return false;
    skipSpace();
    if (!consume('}')) {
      do {
        skipSpace();
        if (!readMember(fields)) return false;
        skipSpace();
      } while (consume(','));
      if (!consume('}')) return false;
    }
    skipSpace();
    return pos_ == text_.size();
  }

 private:
  bool atEnd() const { return pos_ >= text_.size(); }
  char peek() const { return atEnd() ? '\0' : text_[pos_]; }

  bool consume(char expected) {
    if (atEnd() || text_[pos_] != expected) return false;
    ++pos_;
    return true;
  }

  void skipSpace() {
    while (!atEnd()) {
      const char c = text_[pos_];
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return;
      ++pos_;
    }
  }

  bool readMember(RequestFields& fields) {
    std::string name;
    if (!readString(name)) return false;
    const std::optional<RequestKey> key = keyFromName(name);
    if (!key || fields.has(*key)) return false;
    fields.present |= keyBit(*key);
    skipSpace();
    if (!consume(':')) return false;
    skipSpace();
    return readValue(*key, fields);
  }

  bool readValue(RequestKey key, RequestFields& fields) {
    switch (key) {
      case RequestKey::id:
        return readString(fields.id);
      case RequestKey::command:
        return readString(fields.command);
      case RequestKey::entity:
        return readString(fields.entity);
      case RequestKey::sourceIds:
        return readStringArray(fields.sourceIds);
      case RequestKey::start:
        return readString(fields.start);
      case RequestKey::end:
        return readString(fields.end);
      case RequestKey::limit:
        return readNumber(fields.limit);
      case RequestKey::query:
        return readString(fields.query);
    }
    return false;
  }

  bool readStringArray(std::vector<std::string>& out) {
    if (!consume('[')) return false;
    skipSpace();
    if (consume(']')) return true;
    do {
      skipSpace();
      if (!readString(out.emplace_back())) return false;
      skipSpace();
    } while (consume(','));
    return consume(']');
  }

  // A JSON string, decoded into `out`.
  bool readString(std::string& out) {
    if (!consume('"')) return false;
    while (!atEnd()) {
      const std::size_t runStart = pos_;
      while (!atEnd() && isPlain(text_[pos_])) ++pos_;
      out.append(text_.substr(runStart, pos_ - runStart));
      const auto byte = static_cast<unsigned char>(peek());
      if (atEnd() || byte < 0x20) return false;
      if (byte == '"') {
        ++pos_;
        return true;
      }
      if (!(byte == '\\' ? readEscape(out) : readMultiByte(out))) return false;
    }
    return false;
  }

  // Bytes copied as they are: printable ASCII other than the quote and the backslash.
  static bool isPlain(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte < 0x80 && byte != '"' && byte != '\\';
  }

  bool readMultiByte(std::string& out) {
    const unicode::detail::Scalar scalar = unicode::detail::decodeScalar(text_, pos_);
    if (scalar.value < 0) return false;
    out.append(text_.substr(pos_, scalar.length));
    pos_ += scalar.length;
    return true;
  }

  bool readEscape(std::string& out) {
    ++pos_;  // the backslash
    const char kind = peek();
    ++pos_;
    static constexpr std::string_view kFrom = "\"\\/bfnrt";
    static constexpr std::string_view kTo = "\"\\/\b\f\n\r\t";
    const std::size_t simple = kFrom.find(kind);
    if (simple != std::string_view::npos) {
      out.push_back(kTo[simple]);
      return true;
    }
    return kind == 'u' && readUnicodeEscape(out);
  }

  // The four hex digits after "\u", or -1.
  int32_t readHex4() {
    if (text_.size() - pos_ < 4) return -1;
    int32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      const int digit = hexValue(text_[pos_++]);
      if (digit < 0) return -1;
      value = value * 16 + digit;
    }
    return value;
  }

  // The rest of a \u escape: one scalar, or a high and a low surrogate as a pair.
  bool readUnicodeEscape(std::string& out) {
    const int32_t unit = readHex4();
    if (unit < 0 || (unit >= 0xDC00 && unit <= 0xDFFF)) return false;
    if (unit < 0xD800 || unit > 0xDBFF) {
      appendUtf8(out, static_cast<char32_t>(unit));
      return true;
    }
    if (!consume('\\') || !consume('u')) return false;
    const int32_t low = readHex4();
    if (low < 0xDC00 || low > 0xDFFF) return false;
    appendUtf8(out, static_cast<char32_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
    return true;
  }

  void skipDigits() {
    while (isDigit(peek())) ++pos_;
  }

  // A JSON number, as the nearest double; a number beyond the range of double is refused.
  bool readNumber(double& out) {
    const std::size_t start = pos_;
    consume('-');
    if (consume('0')) {
      if (isDigit(peek())) return false;
    } else {
      if (!isDigit(peek())) return false;
      skipDigits();
    }
    if (consume('.')) {
      if (!isDigit(peek())) return false;
      skipDigits();
    }
    if (consume('e') || consume('E')) {
      if (!consume('+')) consume('-');
      if (!isDigit(peek())) return false;
      skipDigits();
    }
    const std::optional<double> value = jsonNumberValue(text_.substr(start, pos_ - start));
    if (!value) return false;
    out = *value;
    return true;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

// Why strtod_l: std::from_chars for double is not in Apple's libc++ for macOS 12 (Xcode 16
// has none; Xcode 26 marks it introduced in macOS 26.0). The C library's strtod_l is on
// every macOS and Linux we build for, rounds correctly on both (glibc; Apple's libc,
// gdtoa), and with the C locale, made once, reads the same text whatever locale the
// process has. It is given only
// text that the grammar above has accepted, so its extensions (hexadecimal, "inf", "nan",
// leading space, a plus sign) never come into play; the refusals are from_chars's: a result
// that overflows to infinity or a non-zero number that rounds to zero (subnormal results
// are accepted, although strtod sets ERANGE for them, so errno is not consulted).
// fast_float (Debian's libfast-float-dev) would serve as well, but would be one more
// dependency for the self-contained macOS build to fetch and pin; the C library is there.
// Short integers, what "limit" carries, are converted exactly without calling it.
std::optional<double> jsonNumberValue(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const bool negative = !text.empty() && text.front() == '-';
  const std::string_view digitsText = text.substr(negative ? 1 : 0);
  if (!digitsText.empty() && digitsText.size() <= kExactIntegerDigits) {
    uint64_t integer = 0;
    bool allDigits = true;
    for (const char c : digitsText) {
      if (!isDigit(c)) {
        allDigits = false;
        break;
      }
      integer = integer * 10 + static_cast<uint64_t>(c - '0');
    }
    if (allDigits) {
      const auto magnitude = static_cast<double>(integer);
      return negative ? -magnitude : magnitude;
    }
  }
  // strtod_l reads up to a NUL, and `text` is a view into a longer line.
  char shortCopy[64];
  std::string longCopy;
  const char* copy = shortCopy;
  if (text.size() < sizeof shortCopy) {
    std::memcpy(shortCopy, text.data(), text.size());
    shortCopy[text.size()] = '\0';
  } else {
    longCopy.assign(text);
    copy = longCopy.c_str();
  }
  char* end = nullptr;
  const locale_t locale = cLocale();
  // Without the C locale (out of memory), strtod reads with the process's locale, which is
  // "C" unless the host program set another: the bridge never does.
  const double value =
      locale != static_cast<locale_t>(0) ? strtod_l(copy, &end, locale) : std::strtod(copy, &end);
  if (end != copy + text.size() || std::isinf(value)) return std::nullopt;
  if (value == 0 && hasNonZeroSignificand(text)) return std::nullopt;
  return value;
}

std::optional<RequestFields> readRequestFields(std::string_view line) {
  RequestFields fields;
  LineReader reader(line);
  if (!reader.readRequest(fields)) return std::nullopt;
  return fields;
}

}  // namespace pemrix::protocol_detail
