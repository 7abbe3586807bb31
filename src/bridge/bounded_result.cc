// Cutting store results to the byte budget.
#include "bridge/bounded_result.h"

#include <algorithm>

#include "protocol/item_budget.h"

namespace pemrix {
namespace {

bool isListOfObjects(const Json& value) {
  return value.is_array() &&
         std::all_of(value.begin(), value.end(), [](const Json& item) { return item.is_object(); });
}

// How many of `items`, from the first, fit in `maxBytes` when the rest of the result
// takes `emptySize` bytes (nothing when it cannot be encoded).
std::size_t itemsThatFit(const Json::array_t& items, std::optional<std::size_t> emptySize,
                         int64_t maxBytes) {
  ItemBudget budget(emptySize, maxBytes);
  std::size_t kept = 0;
  while (kept < items.size() && budget.take(items[kept])) ++kept;
  return kept;
}

}  // namespace

Json boundedResult(Json result, int64_t maxBytes) {
  if (!result.is_object()) return result;
  const auto found = result.find("items");
  if (found == result.end() || !isListOfObjects(*found)) return result;
  // The items are taken out while the rest of the result is measured, then cut in place:
  // nothing is copied.
  Json::array_t items = std::move(found->get_ref<Json::array_t&>());
  found->get_ref<Json::array_t&>().clear();
  const std::size_t kept = itemsThatFit(items, encodedSize(result), maxBytes);
  const bool truncated = kept < items.size();
  items.erase(items.begin() + static_cast<std::ptrdiff_t>(kept), items.end());
  *found = std::move(items);
  if (truncated) result["truncated"] = true;
  return result;
}

}  // namespace pemrix
