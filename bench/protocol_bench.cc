// Benchmarks of reading requests: whole query lines and timestamps.
#include <benchmark/benchmark.h>

#include "bench_data.h"
#include "protocol/native_request.h"

namespace pemrix::bench {
namespace {

void BM_ParseEventsQueryLine(benchmark::State& state) {
  for (auto _ : state) {
    auto request = NativeRequest::parse(kEventsQueryLine);
    benchmark::DoNotOptimize(request);
  }
  if (!NativeRequest::parse(kEventsQueryLine)) state.SkipWithError("line refused");
}
BENCHMARK(BM_ParseEventsQueryLine);

void BM_ParseContactsQueryLine(benchmark::State& state) {
  for (auto _ : state) {
    auto request = NativeRequest::parse(kContactsQueryLine);
    benchmark::DoNotOptimize(request);
  }
  if (!NativeRequest::parse(kContactsQueryLine)) state.SkipWithError("line refused");
}
BENCHMARK(BM_ParseContactsQueryLine);

void BM_ParseStatusLine(benchmark::State& state) {
  const std::string line = R"({"id":"1","command":"status"})";
  for (auto _ : state) {
    auto request = NativeRequest::parse(line);
    benchmark::DoNotOptimize(request);
  }
}
BENCHMARK(BM_ParseStatusLine);

// A refused line still has its id read back for the failure answer.
void BM_RefuseLineAndEchoId(benchmark::State& state) {
  const std::string line = R"({"id":"req-7","command":"status","extra":[1,2,{"a":null}]})";
  for (auto _ : state) {
    auto request = NativeRequest::parse(line);
    auto id = NativeRequest::echoId(line);
    benchmark::DoNotOptimize(request);
    benchmark::DoNotOptimize(id);
  }
}
BENCHMARK(BM_RefuseLineAndEchoId);

void BM_ParseDate(benchmark::State& state) {
  const std::string text = "2024-05-01T08:30:00Z";
  for (auto _ : state) {
    auto instant = parseDate(text);
    benchmark::DoNotOptimize(instant);
  }
}
BENCHMARK(BM_ParseDate);

void BM_ParseDateWithFraction(benchmark::State& state) {
  const std::string text = "2024-05-01T08:30:00.123456789Z";
  for (auto _ : state) {
    auto instant = parseDate(text);
    benchmark::DoNotOptimize(instant);
  }
}
BENCHMARK(BM_ParseDateWithFraction);

}  // namespace
}  // namespace pemrix::bench
