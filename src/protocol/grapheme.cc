// Extended grapheme clusters (the characters a user sees) of UTF-8 text.
//
// Between two ASCII scalars there is always a cluster boundary except inside CR LF, so a
// cluster that is one ASCII byte followed by another ASCII byte (or the end) is taken
// without asking utf8proc. Everything else goes through utf8proc's stateful break test,
// restarted at every boundary, which utf8proc allows. An ill-formed sequence counts as
// one U+FFFD.
#include <utf8proc.h>

#include "protocol/unicode.h"
#include "protocol/utf8_scalar.h"

namespace pemrix::unicode {
namespace {

int32_t scalarAt(std::string_view text, std::size_t pos, uint32_t& length) {
  const detail::Scalar scalar = detail::decodeScalar(text, pos);
  length = scalar.length;
  return scalar.value < 0 ? static_cast<int32_t>(detail::kReplacement) : scalar.value;
}

// The end of the cluster that starts at `pos`, asking utf8proc at every scalar.
std::size_t clusterEndSlow(std::string_view text, std::size_t pos) {
  utf8proc_int32_t state = 0;
  uint32_t length;
  int32_t previous = scalarAt(text, pos, length);
  pos += length;
  while (pos < text.size()) {
    const int32_t current = scalarAt(text, pos, length);
    if (utf8proc_grapheme_break_stateful(previous, current, &state)) break;
    previous = current;
    pos += length;
  }
  return pos;
}

// The end of the cluster that starts at `pos` (< text.size()).
std::size_t clusterEnd(std::string_view text, std::size_t pos) {
  const auto byte = [text](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  if (byte(pos) < 0x80) {
    if (pos + 1 == text.size()) return pos + 1;
    if (byte(pos + 1) < 0x80) return byte(pos) == '\r' && byte(pos + 1) == '\n' ? pos + 2 : pos + 1;
  }
  return clusterEndSlow(text, pos);
}

}  // namespace

std::size_t graphemeCount(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < text.size(); pos = clusterEnd(text, pos)) ++count;
  return count;
}

std::string_view firstGraphemes(std::string_view text, std::size_t limit) {
  std::size_t pos = 0;
  for (std::size_t count = 0; count < limit && pos < text.size(); ++count) {
    pos = clusterEnd(text, pos);
  }
  return text.substr(0, pos);
}

}  // namespace pemrix::unicode
