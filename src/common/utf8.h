// Writing one Unicode scalar value as UTF-8: the one encoder of the bridge, used by the
// request reader (\u escapes), text repair and folding, and the macOS text conversion.
#pragma once

#include <string>

namespace pemrix {

// Appends `scalar` (at most U+10FFFF, not a surrogate) to `out` in UTF-8.
inline void appendUtf8(std::string& out, char32_t scalar) {
  auto byte = [&out](char32_t value) { out.push_back(static_cast<char>(value)); };
  if (scalar < 0x80) {
    byte(scalar);
  } else if (scalar < 0x800) {
    byte(0xC0 | (scalar >> 6));
    byte(0x80 | (scalar & 0x3F));
  } else if (scalar < 0x10000) {
    byte(0xE0 | (scalar >> 12));
    byte(0x80 | ((scalar >> 6) & 0x3F));
    byte(0x80 | (scalar & 0x3F));
  } else {
    byte(0xF0 | (scalar >> 18));
    byte(0x80 | ((scalar >> 12) & 0x3F));
    byte(0x80 | ((scalar >> 6) & 0x3F));
    byte(0x80 | (scalar & 0x3F));
  }
}

}  // namespace pemrix
