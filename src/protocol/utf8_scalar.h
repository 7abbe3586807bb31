// Decoding one Unicode scalar from UTF-8, shared by the Unicode helpers. Private to
// src/protocol: other code goes through protocol/unicode.h.
//
// Ill-formed input is read the way the Unicode standard recommends for replacement: each
// maximal subpart of an ill-formed sequence (the longest prefix of a well-formed sequence
// that is present, or a single byte) counts as one error, so a repairing caller writes
// one U+FFFD per error and a sequence cut off at the end of the text becomes one U+FFFD.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pemrix::unicode::detail {

inline constexpr char32_t kReplacement = 0xFFFD;

// One decoding step: the scalar (or -1 for an ill-formed sequence) and the number of
// bytes it covers, at least 1.
struct Scalar {
  int32_t value;
  uint32_t length;
};

// The lowest and highest byte allowed second in a sequence that starts with `lead`
// (Unicode Table 3-7); the bytes after the second are always 0x80 to 0xBF.
inline void secondByteRange(unsigned char lead, unsigned char& low, unsigned char& high) {
  low = 0x80;
  high = 0xBF;
  if (lead == 0xE0) low = 0xA0;
  if (lead == 0xED) high = 0x9F;
  if (lead == 0xF0) low = 0x90;
  if (lead == 0xF4) high = 0x8F;
}

// The total length of a sequence that starts with `lead`, or 0 when `lead` cannot start
// one (a continuation byte, C0, C1 or F5 to FF).
inline uint32_t sequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xC2) return 0;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  if (lead < 0xF5) return 4;
  return 0;
}

// Decodes the scalar that starts at `pos` (< text.size()).
inline Scalar decodeScalar(std::string_view text, std::size_t pos) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data()) + pos;
  const std::size_t available = text.size() - pos;
  const unsigned char lead = bytes[0];
  const uint32_t length = sequenceLength(lead);
  if (length == 1) return {lead, 1};
  if (length == 0) return {-1, 1};
  static constexpr unsigned char kLeadMask[5] = {0, 0, 0x1F, 0x0F, 0x07};
  int32_t value = lead & kLeadMask[length];
  unsigned char low;
  unsigned char high;
  secondByteRange(lead, low, high);
  for (uint32_t i = 1; i < length; ++i) {
    if (i >= available || bytes[i] < low || bytes[i] > high) return {-1, i};
    value = (value << 6) | (bytes[i] & 0x3F);
    low = 0x80;
    high = 0xBF;
  }
  return {value, length};
}

}  // namespace pemrix::unicode::detail
