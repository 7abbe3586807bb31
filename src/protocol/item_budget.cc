// ItemBudget: the byte cost of result items, compared without forming a sum that could
// overflow.
#include "protocol/item_budget.h"

namespace pemrix {

ItemBudget::ItemBudget(std::optional<std::size_t> used, int64_t maxBytes)
    : used_(used ? static_cast<int64_t>(*used) : maxBytes), maxBytes_(maxBytes) {}

bool ItemBudget::take(const Json& item) {
  if (full_) return false;
  const std::optional<std::size_t> size = encodedSize(item);
  if (!size || used_ > maxBytes_ || static_cast<int64_t>(*size) >= maxBytes_ - used_) {
    full_ = true;
    return false;
  }
  used_ += static_cast<int64_t>(*size) + 1;
  return true;
}

}  // namespace pemrix
