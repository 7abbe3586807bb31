// ObserverRegistry, the one registry every backend calls its change observers through:
// what a released token promises while another thread is notifying, releases from inside
// a callback, and tokens that outlive their registry.
#include "platform/observer_registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace pemrix::platform {
namespace {

using namespace std::chrono_literals;

// The fault this guards against: a notify that copies the callbacks and calls them after
// dropping its lock lets a release on another thread return while a call is still running,
// after which the callback touches what its owner has already destroyed.
TEST(ObserverRegistry, ReleaseDuringANotifyWaitsForTheCallAndEndsLaterOnes) {
  ObserverRegistry registry;
  std::atomic<bool> entered{false};
  auto owned = std::make_unique<std::atomic<int>>(0);  // what the owner destroys after release
  std::atomic<int>* calls = owned.get();
  std::optional<ObserverToken> token = registry.add([&entered, calls] {
    entered = true;
    std::this_thread::sleep_for(30ms);
    ++*calls;
  });
  std::thread notifier([&] {
    registry.notify();
    registry.notify();
  });
  while (!entered) std::this_thread::yield();
  token.reset();
  const int seen = owned->load();
  owned.reset();  // ASan reports a use after free if a call were still running or to come
  notifier.join();
  registry.notify();
  EXPECT_GE(seen, 1);
  EXPECT_LE(seen, 2);
}

TEST(ObserverRegistry, ACallbackMayReleaseTokensOfItsOwnRegistry) {
  ObserverRegistry registry;
  int first = 0, second = 0;
  std::optional<ObserverToken> secondToken;
  std::optional<ObserverToken> firstToken = registry.add([&] {
    ++first;
    secondToken.reset();  // a later observer: not called in this notify
    firstToken.reset();   // itself
  });
  secondToken = registry.add([&] { ++second; });
  registry.notify();
  registry.notify();
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 0);
}

TEST(ObserverRegistry, ObserversAreCalledInOrderUntilReleasedAndTokensMayOutliveIt) {
  auto registry = std::make_unique<ObserverRegistry>();
  std::string order;
  ObserverToken a = registry->add([&] { order += 'a'; });
  ObserverToken b = registry->add([&] { order += 'b'; });
  registry->notify();
  b = ObserverToken();
  registry->notify();
  EXPECT_EQ(order, "aba");
  registry.reset();
  a = ObserverToken();  // releasing after the registry is gone is harmless
}

}  // namespace
}  // namespace pemrix::platform
