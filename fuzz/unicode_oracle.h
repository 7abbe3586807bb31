// A second, deliberately plain reading of UTF-8 text straight from utf8proc, against which
// the fuzz targets check the bridge's own Unicode helpers (which take ASCII fast paths and
// decode by hand). Slow and simple on purpose.
#pragma once

#include <utf8proc.h>

#include <cstddef>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pemrix::fuzz {

// The scalars of `text`, or nothing when it is not well-formed UTF-8.
inline std::optional<std::vector<utf8proc_int32_t>> scalarsOf(std::string_view text) {
  std::vector<utf8proc_int32_t> scalars;
  const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
  std::size_t pos = 0;
  while (pos < text.size()) {
    utf8proc_int32_t scalar = -1;
    const utf8proc_ssize_t length =
        utf8proc_iterate(bytes + pos, static_cast<utf8proc_ssize_t>(text.size() - pos), &scalar);
    if (length <= 0 || scalar < 0) return std::nullopt;
    scalars.push_back(scalar);
    pos += static_cast<std::size_t>(length);
  }
  return scalars;
}

// Extended grapheme clusters in a sequence of scalars, with one break state for the whole
// text.
inline std::size_t clusterCount(const std::vector<utf8proc_int32_t>& scalars) {
  if (scalars.empty()) return 0;
  std::size_t count = 1;
  utf8proc_int32_t state = 0;
  for (std::size_t i = 1; i < scalars.size(); ++i) {
    if (utf8proc_grapheme_break_stateful(scalars[i - 1], scalars[i], &state)) ++count;
  }
  return count;
}

// The first `limit` extended grapheme clusters of well-formed `text`.
inline std::string firstClusters(std::string_view text, std::size_t limit) {
  const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
  std::size_t pos = 0, count = 0;
  utf8proc_int32_t previous = -1, state = 0;
  while (pos < text.size()) {
    utf8proc_int32_t scalar = -1;
    const utf8proc_ssize_t length =
        utf8proc_iterate(bytes + pos, static_cast<utf8proc_ssize_t>(text.size() - pos), &scalar);
    if (length <= 0) break;
    const bool boundary =
        previous < 0 || utf8proc_grapheme_break_stateful(previous, scalar, &state);
    if (boundary && count++ == limit) break;
    previous = scalar;
    pos += static_cast<std::size_t>(length);
  }
  return std::string(text.substr(0, pos));
}

inline bool isControlOrFormat(utf8proc_int32_t scalar) {
  const utf8proc_category_t category = utf8proc_category(scalar);
  return category == UTF8PROC_CATEGORY_CC || category == UTF8PROC_CATEGORY_CF;
}

// Unicode's White_Space: general category Z, U+0009 to U+000D and U+0085.
inline bool isWhiteSpace(utf8proc_int32_t scalar) {
  if ((scalar >= 0x09 && scalar <= 0x0D) || scalar == 0x85) return true;
  const utf8proc_category_t category = utf8proc_category(scalar);
  return category == UTF8PROC_CATEGORY_ZS || category == UTF8PROC_CATEGORY_ZL ||
         category == UTF8PROC_CATEGORY_ZP;
}

// The canonical composition (NFC) of well-formed `text`.
inline std::string composed(std::string_view text) {
  utf8proc_uint8_t* out = nullptr;
  const utf8proc_ssize_t length =
      utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
                   static_cast<utf8proc_ssize_t>(text.size()), &out,
                   static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
  std::string result;
  if (length >= 0)
    result.assign(reinterpret_cast<const char*>(out), static_cast<std::size_t>(length));
  std::free(out);
  return result;
}

}  // namespace pemrix::fuzz
