// Benchmarks of the store queries through the controller: the time from `receive` to the
// answer line, which includes handing the request to the stores' thread and the answer
// back to the main queue. BM_StoreRoundTripBaseline measures that hand-off alone (a
// listing of one calendar), to subtract from the query figures.
#include <benchmark/benchmark.h>

#include "bench_data.h"

namespace pemrix::bench {
namespace {

// Four calendars of 2500 events each over 31 days from the harness start, in date order.
const platform::World& eventWorld() {
  static const platform::World world = [] {
    platform::World built;
    addEvents(built, 4, 2500, 0, 31);
    return built;
  }();
  return world;
}

std::string eventsQuery(const std::string& start, const std::string& end) {
  std::string line =
      R"({"id":"q1","command":"query","entity":"events","sourceIds":["cal-0","cal-1"],"start":")";
  line.append(start).append(R"(","end":")").append(end).append(R"(","limit":100})");
  return line;
}

void BM_StoreRoundTripBaseline(benchmark::State& state) {
  platform::World world;
  world.calendars = {{"cal-0", "Calendar", platform::CalendarEntityType::events}};
  timeRequest(state, world, R"({"id":"l1","command":"list-sources","entity":"events"})", 0);
}
BENCHMARK(BM_StoreRoundTripBaseline)->UseManualTime()->Unit(benchmark::kMicrosecond);

// 100 items collected from two of four calendars; the window covers the whole month, so
// the first matching events come at once.
void BM_EventsQuery100Of10000(benchmark::State& state) {
  timeRequest(state, eventWorld(), eventsQuery("2024-05-01T00:00:00Z", "2024-06-01T00:00:00Z"),
              100);
}
BENCHMARK(BM_EventsQuery100Of10000)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The same 100 items from the last week of the month: the simulated store walks about
// 7700 earlier events before the first match (a real calendar store uses an index).
void BM_EventsQuery100Of10000LateWindow(benchmark::State& state) {
  timeRequest(state, eventWorld(), eventsQuery("2024-05-25T00:00:00Z", "2024-06-01T00:00:00Z"),
              100);
}
BENCHMARK(BM_EventsQuery100Of10000LateWindow)->UseManualTime()->Unit(benchmark::kMicrosecond);

// A three-word query over 2500 contacts: the scan stops at its cap of 2000 contacts.
void BM_ContactsQueryScan2000(benchmark::State& state) {
  static const platform::World world = contactWorld(2500);
  timeRequest(state, world, kContactsQueryLine, 6);
}
BENCHMARK(BM_ContactsQueryScan2000)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace pemrix::bench
