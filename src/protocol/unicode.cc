// UTF-8 validation and repair, general categories, white space and canonical equivalence.
// Grapheme clusters live in grapheme.cc and search folding in search_fold.cc.
#include "protocol/unicode.h"

#include "common/utf8.h"

#include <utf8proc.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "protocol/utf8_scalar.h"

namespace pemrix::unicode {
namespace {

using detail::decodeScalar;
using detail::Scalar;

// The length of the leading run of ASCII bytes, read eight at a time.
std::size_t asciiPrefix(std::string_view text) {
  std::size_t pos = 0;
  for (; pos + 8 <= text.size(); pos += 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + pos, 8);
    if (word & 0x8080808080808080ull) break;
  }
  while (pos < text.size() && static_cast<unsigned char>(text[pos]) < 0x80) ++pos;
  return pos;
}

bool isWhiteSpace(int32_t scalar) {
  if (scalar < 0x80) return scalar == ' ' || (scalar >= 0x09 && scalar <= 0x0D);
  if (scalar == 0x85) return true;
  const utf8proc_category_t category = utf8proc_category(scalar);
  return category == UTF8PROC_CATEGORY_ZS || category == UTF8PROC_CATEGORY_ZL ||
         category == UTF8PROC_CATEGORY_ZP;
}

bool isControlOrFormat(int32_t scalar) {
  if (scalar < 0) return false;
  if (scalar < 0x80) return scalar < 0x20 || scalar == 0x7F;
  const utf8proc_category_t category = utf8proc_category(scalar);
  return category == UTF8PROC_CATEGORY_CC || category == UTF8PROC_CATEGORY_CF;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
  for (std::size_t pos = asciiPrefix(text); pos < text.size();) {
    const Scalar scalar = decodeScalar(text, pos);
    if (scalar.value < 0) return false;
    pos += scalar.length;
    if (scalar.length == 1) pos += asciiPrefix(text.substr(pos));
  }
  return true;
}

std::string repairUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const Scalar scalar = decodeScalar(text, pos);
    if (scalar.value < 0) {
      appendUtf8(out, detail::kReplacement);
    } else {
      out.append(text.substr(pos, scalar.length));
    }
    pos += scalar.length;
  }
  return out;
}

std::string_view trimWhiteSpace(std::string_view text) {
  std::size_t first = text.size();
  std::size_t last = 0;  // end of the last scalar that is not white space
  for (std::size_t pos = 0; pos < text.size();) {
    const Scalar scalar = decodeScalar(text, pos);
    pos += scalar.length;
    if (isWhiteSpace(scalar.value)) continue;
    if (first == text.size()) first = pos - scalar.length;
    last = pos;
  }
  if (first == text.size()) return text.substr(0, 0);
  return text.substr(first, last - first);
}

bool containsControlOrFormat(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    const Scalar scalar = decodeScalar(text, pos);
    if (isControlOrFormat(scalar.value)) return true;
    pos += scalar.length;
  }
  return false;
}

std::string canonicalForm(std::string_view text) {
  if (asciiPrefix(text) == text.size()) return std::string(text);
  const std::string repaired = isValidUtf8(text) ? std::string(text) : repairUtf8(text);
  utf8proc_uint8_t* composed = nullptr;
  const utf8proc_ssize_t length =
      utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(repaired.data()),
                   static_cast<utf8proc_ssize_t>(repaired.size()), &composed,
                   static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
  const std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owner(composed, &std::free);
  if (length < 0) return repaired;  // out of memory: utf8proc reports no other error here
  return std::string(reinterpret_cast<const char*>(composed), static_cast<std::size_t>(length));
}

std::vector<std::string> splitOnWhiteSpace(std::string_view text) {
  std::vector<std::string> pieces;
  std::size_t pieceStart = 0;
  bool inPiece = false;
  for (std::size_t pos = 0; pos < text.size();) {
    const Scalar scalar = decodeScalar(text, pos);
    const bool space = isWhiteSpace(scalar.value);
    if (space && inPiece) pieces.emplace_back(text.substr(pieceStart, pos - pieceStart));
    if (!space && !inPiece) pieceStart = pos;
    inPiece = !space;
    pos += scalar.length;
  }
  if (inPiece) pieces.emplace_back(text.substr(pieceStart));
  return pieces;
}

}  // namespace pemrix::unicode
