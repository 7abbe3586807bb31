// Benchmarks of change coalescing: a burst of 10,000 store notifications becomes one
// "changed" message per entity once the half-second window closes.
#include <benchmark/benchmark.h>

#include "bench_data.h"
#include "bridge/native_bridge.h"

namespace pemrix::bench {
namespace {

constexpr int kBurst = 10000;

// A request answered at once restarts the idle timer, as the app's requests do; sent
// between iterations, outside the timed region, so that no run ends the bridge for being
// idle.
void keepAwake(testing::BridgeHarness& harness) {
  harness.send(R"({"id":"awake","command":"status"})");
}

// Checks that the burst wrote exactly one message per entity.
bool wroteThree(const testing::BridgeHarness& harness, std::size_t before) {
  return harness.lines().size() == before + 3;
}

// The notifications reach `changed` directly, as main-queue tasks would; the window's
// timer then writes the three messages.
void BM_ChangeBurstDirect(benchmark::State& state) {
  testing::BridgeHarness harness;
  for (auto _ : state) {
    const std::size_t before = harness.lines().size();
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < kBurst; ++i) harness.bridge().changed(kAllEntities[i % 3]);
    harness.advance(kChangeWindow);
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
    if (!wroteThree(harness, before)) {
      state.SkipWithError("expected three changed messages");
      break;
    }
    keepAwake(harness);
  }
  state.SetItemsProcessed(state.iterations() * kBurst);
}
BENCHMARK(BM_ChangeBurstDirect)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The notifications arrive as the stores' change relay delivers them: each one a task
// submitted to the main queue, which then runs them all.
void BM_ChangeBurstThroughMainQueue(benchmark::State& state) {
  testing::BridgeHarness harness;
  NativeBridge* bridge = &harness.bridge();
  for (auto _ : state) {
    const std::size_t before = harness.lines().size();
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < kBurst; ++i) {
      harness.queue().async([bridge, entity = kAllEntities[i % 3]] { bridge->changed(entity); });
    }
    harness.runReady();
    harness.advance(kChangeWindow);
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
    if (!wroteThree(harness, before)) {
      state.SkipWithError("expected three changed messages");
      break;
    }
    keepAwake(harness);
  }
  state.SetItemsProcessed(state.iterations() * kBurst);
}
BENCHMARK(BM_ChangeBurstThroughMainQueue)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace pemrix::bench
