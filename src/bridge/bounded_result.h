// Bounds on what the bridge sends: `boundedResult` cuts a result's items to a byte budget,
// `clipped` cuts one text from a store to a number of characters. Both are pure.
//
// Uses: the controller bounds every store result before writing it; the stores clip every
// identifier, title and name they put into a result, each with its own limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/wire_json.h"

namespace pemrix {

// The byte budget the controller applies to store results.
inline constexpr int64_t kResultByteBudget = 245760;

// `result` with its "items" cut so that the encoded result fits `maxBytes`, counting one
// separator byte per item. Items are kept whole and in order, up to the first that does
// not fit; when any is dropped "truncated" becomes true. Results without an "items" list
// of objects come back unchanged. Taken by value so that a caller that moves its result
// in pays for no copy of the items.
Json boundedResult(Json result, int64_t maxBytes);

// At most `limit` characters (extended grapheme clusters) of `text`, read from at most
// its first 4 x `limit` bytes; a character cut at that byte bound becomes U+FFFD and
// ill-formed UTF-8 is repaired the same way. No text gives the empty text. The result is
// always well-formed UTF-8.
std::string clipped(std::optional<std::string_view> text, std::size_t limit);

}  // namespace pemrix
