// Fuzz target: boundedResult and clipped on generated values.
//
// boundedResult: the items kept are a prefix of the input's, in order; the result with
// them fits the byte budget (one separator byte per item); the cut is at the first item
// that does not fit or cannot be encoded; "truncated" becomes true exactly when items were
// dropped, and otherwise keeps the store's value (or stays absent). Results without a list
// of objects under "items" come back unchanged.
//
// clipped: the text returned is well-formed UTF-8 with at most `limit` characters; for
// well-formed input it is the first `limit` characters of the first 4 x `limit` bytes,
// with a character cut at that byte bound written as U+FFFD.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "bridge/bounded_result.h"
#include "fuzz_check.h"
#include "protocol/clipped.h"
#include "protocol/wire_json.h"
#include "unicode_oracle.h"

namespace pemrix {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Mostly short texts, sometimes long ones, any bytes (so some are not UTF-8).
std::string someText(FuzzedDataProvider& provider) {
  const std::size_t length = provider.ConsumeBool()
                                 ? provider.ConsumeIntegralInRange<std::size_t>(0, 12)
                                 : provider.ConsumeIntegralInRange<std::size_t>(0, 3000);
  return provider.ConsumeBytesAsString(length);
}

Json someValue(FuzzedDataProvider& provider, int depth) {
  switch (provider.ConsumeIntegralInRange(0, depth > 1 ? 5 : 7)) {
    case 0:
      return someText(provider);
    case 1:
      return provider.ConsumeIntegral<int64_t>();
    case 2: {  // any bit pattern: floating-point numbers cannot be encoded
      const uint64_t bits = provider.ConsumeIntegral<uint64_t>();
      double value;
      std::memcpy(&value, &bits, sizeof value);
      return value;
    }
    case 3:
      return provider.ConsumeBool();
    case 4:
      return nullptr;
    case 5:
      return provider.ConsumeIntegral<uint64_t>();
    case 6: {
      Json array = Json::array();
      const int count = provider.ConsumeIntegralInRange(0, 3);
      for (int i = 0; i < count; ++i) array.push_back(someValue(provider, depth + 1));
      return array;
    }
    default: {
      Json object = Json::object();
      const int count = provider.ConsumeIntegralInRange(0, 4);
      for (int i = 0; i < count; ++i) object[someText(provider)] = someValue(provider, depth + 1);
      return object;
    }
  }
}

Json someResult(FuzzedDataProvider& provider) {
  if (provider.ConsumeIntegralInRange(0, 15) == 0) return someValue(provider, 0);
  Json result = Json::object();
  if (provider.ConsumeBool()) result["truncated"] = provider.ConsumeBool();
  if (provider.ConsumeIntegralInRange(0, 3) == 0)
    result[someText(provider)] = someValue(provider, 1);
  if (provider.ConsumeIntegralInRange(0, 15) == 0) return result;  // no items
  Json items = Json::array();
  const int count = provider.ConsumeIntegralInRange(0, 40);
  for (int i = 0; i < count; ++i) {
    const bool object = provider.ConsumeIntegralInRange(0, 30) != 0;
    items.push_back(object ? someValue(provider, 6) : someValue(provider, 1));
  }
  result["items"] = std::move(items);
  return result;
}

int64_t someBudget(FuzzedDataProvider& provider) {
  switch (provider.ConsumeIntegralInRange(0, 7)) {
    case 0:
      return std::numeric_limits<int64_t>::max();
    case 1:
      return std::numeric_limits<int64_t>::min();
    case 2:
      return kResultByteBudget;
    default:
      return provider.ConsumeIntegralInRange<int64_t>(-8, 6000);
  }
}

// Equality that also holds for NaN numbers, which never equal themselves as JSON values.
bool same(const Json& a, const Json& b) {
  return Json::to_cbor(a) == Json::to_cbor(b);
}

bool hasListOfObjects(const Json& result) {
  if (!result.is_object() || !result.contains("items") || !result["items"].is_array()) {
    return false;
  }
  for (const Json& item : result["items"]) {
    if (!item.is_object()) return false;
  }
  return true;
}

void checkBounded(const Json& input, int64_t budget) {
  const Json output = boundedResult(input, budget);
  if (!hasListOfObjects(input)) {
    FUZZ_CHECK(same(output, input));
    return;
  }
  const Json& all = input["items"];
  const Json& kept = output.at("items");
  FUZZ_CHECK(kept.is_array() && kept.size() <= all.size());
  for (std::size_t i = 0; i < kept.size(); ++i) FUZZ_CHECK(same(kept[i], all[i]));
  // Every other member is the input's, except "truncated" when items were dropped.
  Json restored = output;
  restored.erase("truncated");
  if (input.contains("truncated")) restored["truncated"] = input["truncated"];
  restored["items"] = all;
  FUZZ_CHECK(same(restored, input));
  if (kept.size() < all.size()) {
    FUZZ_CHECK(output.value("truncated", Json()) == true);
  } else {
    FUZZ_CHECK(output.contains("truncated") == input.contains("truncated"));
    if (input.contains("truncated")) FUZZ_CHECK(output["truncated"] == input["truncated"]);
  }
  // The budget: the empty result, then each kept item and its separator.
  Json empty = input;
  empty["items"] = Json::array();
  const std::optional<std::size_t> emptySize = encodedSize(empty);
  if (!emptySize) {
    FUZZ_CHECK(kept.empty());
    return;
  }
  int64_t running = static_cast<int64_t>(*emptySize);
  for (const Json& item : kept) {
    running += static_cast<int64_t>(encodedSize(item).value()) + 1;
    FUZZ_CHECK(running <= budget);
  }
  if (!kept.empty()) {
    restored["items"] = kept;
    FUZZ_CHECK(static_cast<int64_t>(encodedSize(restored).value()) + 1 <= budget);
  }
  if (kept.size() < all.size()) {  // the first item left out did not fit
    const std::optional<std::size_t> next = encodedSize(all[kept.size()]);
    FUZZ_CHECK(!next || running + static_cast<int64_t>(*next) + 1 > budget);
  }
}

// `head` with a sequence cut off at its end replaced by U+FFFD.
std::string withCutMarked(std::string_view head) {
  const auto byteAt = [head](std::size_t fromEnd) {
    return static_cast<unsigned char>(head[head.size() - 1 - fromEnd]);
  };
  std::size_t tail = 0;  // continuation bytes at the end
  while (tail < 3 && tail < head.size() && (byteAt(tail) & 0xC0) == 0x80) ++tail;
  if (tail == head.size()) return std::string(head);
  const unsigned char lead = byteAt(tail);
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  if (tail + 1 >= length) return std::string(head);
  return std::string(head.substr(0, head.size() - 1 - tail)) + std::string(kReplacement);
}

void checkClipped(const std::string& text, std::size_t limit) {
  const std::string out = clipped(text, limit);
  const auto scalars = fuzz::scalarsOf(out);
  FUZZ_CHECK(scalars);
  FUZZ_CHECK(fuzz::clusterCount(*scalars) <= limit);
  if (!fuzz::scalarsOf(text)) return;
  const std::string_view head = std::string_view(text).substr(0, 4 * limit);
  FUZZ_CHECK(out == fuzz::firstClusters(withCutMarked(head), limit));
}

}  // namespace
}  // namespace pemrix

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pemrix;
  FuzzedDataProvider provider(data, size);
  if (provider.ConsumeBool()) {
    const std::size_t limit = provider.ConsumeBool()
                                  ? provider.ConsumeIntegralInRange<std::size_t>(1, 8)
                                  : provider.ConsumeIntegralInRange<std::size_t>(1, 600);
    checkClipped(provider.ConsumeRemainingBytesAsString(), limit);
    return 0;
  }
  const int64_t budget = someBudget(provider);
  checkBounded(someResult(provider), budget);
  return 0;
}
