// ItemBudget: how many items of a result, taken in order, fit its byte budget. Each item
// costs its encoded bytes and one separator byte; items are kept whole, up to the first
// that does not fit, and none after it.
//
// Uses: `boundedResult` cuts every store result with it; a source listing is written
// within the same budget (result_encoding.cc).
//
// Thread safety: a value; one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "protocol/wire_json.h"

namespace pemrix {

class ItemBudget {
 public:
  // A budget of `maxBytes` of which `used` are taken by the rest of the result; nothing
  // fits when `used` is unknown (the rest cannot be encoded).
  ItemBudget(std::optional<std::size_t> used, int64_t maxBytes);

  // Counts `item` against the budget and returns whether it fits; false from the first
  // item that does not fit on.
  bool take(const Json& item);
  // Whether an item did not fit.
  bool full() const { return full_; }

 private:
  int64_t used_;
  int64_t maxBytes_;
  bool full_ = false;
};

}  // namespace pemrix
