// `clipped`: one text from a store cut to a number of characters. Pure; any thread.
//
// Uses: the stores clip every identifier, title and name they put into a result, each with
// its own limit (common/limits.h).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace pemrix {

// At most `limit` characters (extended grapheme clusters) of `text`, read from at most
// its first 4 x `limit` bytes; a character cut at that byte bound becomes U+FFFD and
// ill-formed UTF-8 is repaired the same way. No text gives the empty text. The result is
// always well-formed UTF-8.
std::string clipped(std::optional<std::string_view> text, std::size_t limit);

}  // namespace pemrix
