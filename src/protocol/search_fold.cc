// Case and mark folding for the contact search: utf8proc's case folding, mark stripping
// and canonical composition, with ASCII handled directly.
//
// The text is folded run by run: ASCII runs by lowering A-Z, runs of non-ASCII scalars by
// utf8proc. Cutting at ASCII scalars changes nothing, because folding works scalar by
// scalar before composition, and no canonical composition joins an ASCII scalar to a
// following scalar that survives mark stripping, nor any scalar to a following ASCII one.
// A whole-text comparison with utf8proc_map in the tests guards this.
#include <utf8proc.h>

#include <array>
#include <vector>

#include "protocol/unicode.h"

namespace pemrix::unicode {
namespace {

constexpr auto kFoldOptions = static_cast<utf8proc_option_t>(
    UTF8PROC_CASEFOLD | UTF8PROC_STRIPMARK | UTF8PROC_COMPOSE | UTF8PROC_STABLE);

// Scalars that a typical run folds into without a heap allocation.
constexpr std::size_t kStackScalars = 256;

bool isAscii(char c) { return static_cast<unsigned char>(c) < 0x80; }

void appendFoldedAscii(std::string& out, std::string_view run) {
  for (char c : run) out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
}

// Decomposes `run` into `buffer` (one slot more than the scalars, as utf8proc_reencode
// needs), then composes and re-encodes it in place and appends the result.
bool foldInto(std::string& out, std::string_view run, utf8proc_int32_t* buffer,
              utf8proc_ssize_t capacity, utf8proc_ssize_t& needed) {
  needed = utf8proc_decompose(reinterpret_cast<const utf8proc_uint8_t*>(run.data()),
                              static_cast<utf8proc_ssize_t>(run.size()), buffer, capacity - 1,
                              kFoldOptions);
  if (needed < 0 || needed > capacity - 1) return false;
  const utf8proc_ssize_t bytes = utf8proc_reencode(buffer, needed, kFoldOptions);
  if (bytes < 0) return false;
  out.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(bytes));
  return true;
}

// Appends the folding of `run`, a run of well-formed non-ASCII scalars.
void appendFoldedOther(std::string& out, std::string_view run) {
  std::array<utf8proc_int32_t, kStackScalars> stack;
  utf8proc_ssize_t needed = 0;
  if (foldInto(out, run, stack.data(), stack.size(), needed) || needed <= 0) return;
  std::vector<utf8proc_int32_t> heap(static_cast<std::size_t>(needed) + 1);
  foldInto(out, run, heap.data(), static_cast<utf8proc_ssize_t>(heap.size()), needed);
}

std::string foldValid(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const bool ascii = isAscii(text[pos]);
    std::size_t end = pos + 1;
    while (end < text.size() && isAscii(text[end]) == ascii) ++end;
    if (ascii) {
      appendFoldedAscii(out, text.substr(pos, end - pos));
    } else {
      appendFoldedOther(out, text.substr(pos, end - pos));
    }
    pos = end;
  }
  return out;
}

}  // namespace

std::string foldForSearch(std::string_view text) {
  if (isValidUtf8(text)) return foldValid(text);
  return foldValid(repairUtf8(text));
}

}  // namespace pemrix::unicode
