// `boundedResult`: a store result's items cut to a byte budget. Pure; any thread.
//
// Uses: the controller bounds every store result before writing it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/limits.h"
#include "protocol/wire_json.h"

namespace pemrix {

// The byte budget the controller applies to store results.
using limits::kResultByteBudget;

// `result` with its "items" cut so that the encoded result fits `maxBytes`, counting one
// separator byte per item. Items are kept whole and in order, up to the first that does
// not fit; when any is dropped "truncated" becomes true. Results without an "items" list
// of objects come back unchanged. Taken by value so that a caller that moves its result
// in pays for no copy of the items.
Json boundedResult(Json result, int64_t maxBytes);

}  // namespace pemrix
