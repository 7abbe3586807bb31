// Case and mark folding for the contact search: utf8proc's case folding, mark stripping
// and canonical composition (CASEFOLD | STRIPMARK | COMPOSE | STABLE), made fast enough
// to fold thousands of short texts per query.
//
// Why folding scalar by scalar is exact: utf8proc folds each scalar on its own and then
// reorders and composes the result. Once marks are stripped, no scalar of non-zero
// combining class is left, so nothing is reordered, and the only compositions left are
// those of conjoining Hangul jamo (U+1100 to U+11FF). So, unless the text holds such
// jamo, the folding of a text is the concatenation of the foldings of its scalars.
// ASCII scalars fold by lowering A-Z, two-byte scalars through a table built once, and
// longer ones through utf8proc_decompose_char. Text with conjoining jamo is folded whole
// by utf8proc. A comparison with whole-text folding in the tests guards all of this.
#include <utf8proc.h>

#include <array>
#include <cstdlib>

#include "protocol/unicode.h"

#include "common/utf8.h"
#include "protocol/utf8_scalar.h"

namespace pemrix::unicode {
namespace {

constexpr auto kFoldOptions = static_cast<utf8proc_option_t>(
    UTF8PROC_CASEFOLD | UTF8PROC_STRIPMARK | UTF8PROC_COMPOSE | UTF8PROC_STABLE);

constexpr int32_t kTableEnd = 0x800;  // scalars below this take one or two bytes
constexpr int32_t kJamoFirst = 0x1100;
constexpr int32_t kJamoLast = 0x11FF;
constexpr int32_t kSyllableFirst = 0xAC00;
constexpr int32_t kSyllableLast = 0xD7A3;

// The folding of one scalar below kTableEnd.
struct FoldedScalar {
  bool known = false;  // false: fold it through utf8proc instead
  uint8_t length = 0;
  std::array<char, 14> bytes{};
};

// Appends the folding of `scalar` (not ASCII, not a conjoining jamo); false when
// utf8proc reports an error.
bool appendFoldedByUtf8proc(std::string& out, int32_t scalar) {
  if (scalar >= kSyllableFirst && scalar <= kSyllableLast) {
    appendUtf8(out, static_cast<char32_t>(scalar));  // decomposed into jamo and composed back again
    return true;
  }
  std::array<utf8proc_int32_t, 32> folded;
  int boundClass = 0;
  const utf8proc_ssize_t count =
      utf8proc_decompose_char(scalar, folded.data(), static_cast<utf8proc_ssize_t>(folded.size()),
                              kFoldOptions, &boundClass);
  if (count < 0 || count > static_cast<utf8proc_ssize_t>(folded.size())) return false;
  for (utf8proc_ssize_t i = 0; i < count; ++i) appendUtf8(out, static_cast<char32_t>(folded[i]));
  return true;
}

const std::array<FoldedScalar, kTableEnd>& twoByteTable() {
  static const std::array<FoldedScalar, kTableEnd> table = [] {
    std::array<FoldedScalar, kTableEnd> built;
    for (int32_t scalar = 0x80; scalar < kTableEnd; ++scalar) {
      std::string folded;
      if (!appendFoldedByUtf8proc(folded, scalar) || folded.size() > built[0].bytes.size()) {
        continue;  // cannot happen for these scalars, and would only be slower
      }
      built[scalar].known = true;
      built[scalar].length = static_cast<uint8_t>(folded.size());
      folded.copy(built[scalar].bytes.data(), folded.size());
    }
    return built;
  }();
  return table;
}

bool appendFoldedScalar(std::string& out, int32_t scalar) {
  if (scalar >= kTableEnd) return appendFoldedByUtf8proc(out, scalar);
  const FoldedScalar& folded = twoByteTable()[scalar];
  if (!folded.known) return appendFoldedByUtf8proc(out, scalar);
  out.append(folded.bytes.data(), folded.length);
  return true;
}

// Folds well-formed `text` whole with utf8proc.
void appendFoldedWhole(std::string& out, std::string_view text) {
  utf8proc_uint8_t* folded = nullptr;
  const utf8proc_ssize_t length =
      utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
                   static_cast<utf8proc_ssize_t>(text.size()), &folded, kFoldOptions);
  if (length > 0)
    out.append(reinterpret_cast<const char*>(folded), static_cast<std::size_t>(length));
  std::free(folded);
}

// Appends an ASCII run with A-Z lowered.
void appendFoldedAscii(std::string& out, std::string_view run) {
  const std::size_t start = out.size();
  out.append(run);
  for (std::size_t i = start; i < out.size(); ++i) {
    if (out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] - 'A' + 'a');
  }
}

// Folds well-formed `text` scalar by scalar; false (with `out` partly written) when it
// holds a conjoining jamo or utf8proc reports an error.
bool appendFoldedByScalar(std::string& out, std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t asciiEnd = pos;
    while (asciiEnd < text.size() && static_cast<unsigned char>(text[asciiEnd]) < 0x80) {
      ++asciiEnd;
    }
    appendFoldedAscii(out, text.substr(pos, asciiEnd - pos));
    if (asciiEnd == text.size()) break;
    const detail::Scalar scalar = detail::decodeScalar(text, asciiEnd);
    if (scalar.value >= kJamoFirst && scalar.value <= kJamoLast) return false;
    if (!appendFoldedScalar(out, scalar.value)) return false;
    pos = asciiEnd + scalar.length;
  }
  return true;
}

std::string foldValid(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  if (appendFoldedByScalar(out, text)) return out;
  out.clear();
  appendFoldedWhole(out, text);
  return out;
}

}  // namespace

std::string foldForSearch(std::string_view text) {
  if (isValidUtf8(text)) return foldValid(text);
  return foldValid(repairUtf8(text));
}

}  // namespace pemrix::unicode
