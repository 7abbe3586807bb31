// Benchmarks of what the bridge writes: encoding an answer line, bounding a result to
// the byte budget and clipping store texts.
#include <benchmark/benchmark.h>

#include "bench_data.h"
#include "bridge/bounded_result.h"
#include "protocol/clipped.h"
#include "protocol/wire_json.h"

namespace pemrix::bench {
namespace {

void BM_EncodeEventResult100(benchmark::State& state) {
  const Json message = envelope(eventResult(100, true));
  std::size_t bytes = 0;
  for (auto _ : state) {
    auto line = encodeMessage(message);
    bytes = line ? line->size() : 0;
    benchmark::DoNotOptimize(line);
  }
  if (bytes == 0) state.SkipWithError("not encoded");
  state.counters["lineBytes"] = static_cast<double>(bytes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_EncodeEventResult100);

// 100 items of `itemBytes` each against the 245760-byte budget: 2400 bytes fit all of
// them, 2500 bytes cut the last few.
void BM_BoundedResult100Large(benchmark::State& state) {
  const auto itemBytes = static_cast<std::size_t>(state.range(0));
  Json items = Json::array();
  for (int i = 0; i < 100; ++i) items.push_back(largeItem(i, itemBytes));
  const Json result{{"items", std::move(items)}, {"truncated", false}};
  std::size_t kept = 0;
  for (auto _ : state) {
    // The controller moves its result in; the copy that stands for it is not timed.
    state.PauseTiming();
    Json input = result;
    state.ResumeTiming();
    Json bounded = boundedResult(std::move(input), kResultByteBudget);
    kept = bounded["items"].size();
    benchmark::DoNotOptimize(bounded);
    state.PauseTiming();
    bounded = Json();  // freeing the items is not part of bounding either
    state.ResumeTiming();
  }
  state.counters["itemsKept"] = static_cast<double>(kept);
  state.counters["inputBytes"] = static_cast<double>(encodedSize(result).value_or(0));
}
BENCHMARK(BM_BoundedResult100Large)->Arg(2400)->Arg(2500)->Unit(benchmark::kMicrosecond);

void BM_ClippedAscii(benchmark::State& state) {
  const auto limit = static_cast<std::size_t>(state.range(0));
  // Longer than the limit, so that the text is actually cut.
  std::string text;
  while (text.size() < limit * 2) text += "Quarterly planning with the design team ";
  for (auto _ : state) {
    std::string clip = clipped(text, limit);
    benchmark::DoNotOptimize(clip);
  }
}
BENCHMARK(BM_ClippedAscii)->Arg(200)->Arg(500);

// Emoji with skin tones and joiners, flags and letters with stacked combining marks:
// every character needs the full grapheme-break rules.
void BM_ClippedEmojiAndMarks(benchmark::State& state) {
  std::string text;
  while (text.size() < 4000) {
    text +=
        "👩🏽‍💻 🇫🇷 e\u0301\u0302\u0323 Z\u0351\u0352\u0353 "
        "👨‍👩‍👧‍👦 ";
  }
  for (auto _ : state) {
    std::string clip = clipped(text, 500);
    benchmark::DoNotOptimize(clip);
  }
  state.counters["inputBytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ClippedEmojiAndMarks);

}  // namespace
}  // namespace pemrix::bench
