// Cutting store results to the byte budget and store texts to a number of characters.
#include "bridge/bounded_result.h"

#include <algorithm>

#include "protocol/unicode.h"

namespace pemrix {
namespace {

constexpr std::size_t kBytesPerCharacter = 4;

bool isListOfObjects(const Json& value) {
  return value.is_array() &&
         std::all_of(value.begin(), value.end(), [](const Json& item) { return item.is_object(); });
}

// `result` without its items: every other member, and "items" as an empty list.
Json withoutItems(const Json& result) {
  Json copy = Json::object();
  for (const auto& [key, value] : result.items()) {
    if (key != "items") copy[key] = value;
  }
  copy["items"] = Json::array();
  return copy;
}

}  // namespace

Json boundedResult(const Json& result, int64_t maxBytes) {
  if (!result.is_object()) return result;
  const auto items = result.find("items");
  if (items == result.end() || !isListOfObjects(*items)) return result;
  Json bounded = withoutItems(result);
  const std::optional<std::size_t> emptySize = encodedSize(bounded);
  int64_t running = emptySize ? static_cast<int64_t>(*emptySize) : maxBytes;
  Json kept = Json::array();
  bool truncated = false;
  for (const Json& item : *items) {
    const std::optional<std::size_t> size = encodedSize(item);
    // Each kept item costs its own bytes and one separator (a comma, or none for the
    // first); compared without forming a sum that could overflow.
    if (!size || running > maxBytes || static_cast<int64_t>(*size) >= maxBytes - running) {
      truncated = true;
      break;
    }
    running += static_cast<int64_t>(*size) + 1;
    kept.push_back(item);
  }
  if (truncated) bounded["truncated"] = true;
  bounded["items"] = std::move(kept);
  return bounded;
}

std::string clipped(std::optional<std::string_view> text, std::size_t limit) {
  if (!text) return {};
  const std::size_t byteLimit =
      limit > text->size() / kBytesPerCharacter ? text->size() : limit * kBytesPerCharacter;
  const std::string_view head = text->substr(0, byteLimit);
  if (unicode::isValidUtf8(head)) return std::string(unicode::firstGraphemes(head, limit));
  const std::string repaired = unicode::repairUtf8(head);
  return std::string(unicode::firstGraphemes(repaired, limit));
}

}  // namespace pemrix
