// Tests that the simulator keeps its threads and memory bounded over a long session: the
// simulated system joins the threads it starts once their work is done, keeps nothing per
// call, and the stores' worker thread is not started before the first store request. They read the
// process's own entries in /proc and are skipped where there is none.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <string>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "bridge_harness.h"
#include "platform/calendar_store.h"
#include "sim/simulated_system.h"

namespace pemrix::testing {
namespace {

using namespace std::chrono_literals;

// The number of threads of this process, or nothing without /proc.
std::optional<std::size_t> threadCount() {
  std::error_code error;
  std::filesystem::directory_iterator tasks("/proc/self/task", error);
  if (error) return std::nullopt;
  std::size_t count = 0;
  for (auto it = tasks; it != std::filesystem::directory_iterator(); ++it) ++count;
  return count;
}

// The process's virtual size in KiB (VmSize), or nothing without /proc.
std::optional<long> virtualKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmSize:" && status >> value) return value;
  }
  return std::nullopt;
}

// Every access request completes on a thread of its own. A thread that is never joined
// keeps its stack mapped (8 MiB of address space here), so 200 requests would add more than
// a GiB. The C library's allocator reserves 64 MiB of address space for each new arena a
// thread may take, which is no leak but could pass for one: the test keeps it to the arenas
// it has.
TEST(SimulatorResources, FinishedSystemThreadsAreJoined) {
#if defined(__GLIBC__)
  mallopt(M_ARENA_MAX, 1);
#endif
  const std::optional<long> before = virtualKiB();
  if (!before) GTEST_SKIP() << "no /proc/self/status";
  ManualClock clock(harnessStart());
  platform::SimulatedSystem system(platform::World{}, clock);
  std::unique_ptr<platform::CalendarStore> store;
  ASSERT_TRUE(system.openCalendarStore(&store).ok());
  for (int i = 0; i < 200; ++i) {
    std::promise<bool> answered;
    store->requestAccess(platform::CalendarEntityType::reminders,
                         [&](platform::Status status) { answered.set_value(status.ok()); });
    auto done = answered.get_future();
    ASSERT_EQ(done.wait_for(2s), std::future_status::ready);
    ASSERT_TRUE(done.get());
  }
  EXPECT_LT(*virtualKiB() - *before, 256 * 1024);
  system.close();
}

TEST(SimulatorResources, TheStoresThreadStartsWithTheFirstStoreRequest) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "ThreadSanitizer runs a thread of its own";
#endif
  const std::optional<std::size_t> before = threadCount();
  if (!before) GTEST_SKIP() << "no /proc/self/task";
  platform::World world;
  world.calendars = {{"cal", "Calendar", platform::CalendarEntityType::events}};
  BridgeHarness harness(std::move(world));
  harness.send(R"({"id":"1","command":"status"})");
  ASSERT_EQ(harness.awaitLines(1), 1u);
  EXPECT_EQ(threadCount(), before);
  harness.send(R"({"id":"2","command":"list-sources","entity":"events"})");
  ASSERT_EQ(harness.awaitLines(2), 2u);
  EXPECT_EQ(threadCount(), *before + 1);
}

// The simulator executable gives its system no watcher and may serve for hours: without
// one nothing is kept per call. 100,000 listings would keep megabytes of call names.
TEST(SimulatorResources, NothingIsKeptPerCallWithoutAWatcher) {
  platform::World world;
  world.calendars.push_back({"cal", "Home", platform::CalendarEntityType::events});
  ManualClock clock(harnessStart());
  platform::SimulatedSystem system(std::move(world), clock);
  std::unique_ptr<platform::CalendarStore> store;
  ASSERT_TRUE(system.openCalendarStore(&store).ok());
  const std::optional<long> before = virtualKiB();
  if (!before) GTEST_SKIP() << "no /proc/self/status";
  for (int i = 0; i < 100000; ++i) {
    std::vector<platform::CalendarInfo> calendars;
    ASSERT_TRUE(store->calendars(platform::CalendarEntityType::events, &calendars).ok());
  }
  EXPECT_LT(*virtualKiB() - *before, 1024);
  system.close();
}

}  // namespace
}  // namespace pemrix::testing
