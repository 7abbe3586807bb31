// BridgeHarness: a NativeBridge over the simulator on a manual clock, with its
// output lines and exit status captured. Store work runs on real threads; the harness waits
// (in real time, briefly) for their answers to reach the main queue.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bridge/native_bridge.h"
#include "platform/clock.h"
#include "platform/main_queue.h"
#include "platform/system.h"
#include "sim/world.h"

namespace pemrix::testing {

// 2024-05-01T00:00:00Z, the virtual moment every harness starts at.
inline Instant harnessStart() {
  return Instant(std::chrono::sys_days(std::chrono::year(2024) / 5 / 1));
}

class BridgeHarness {
 public:
  explicit BridgeHarness(platform::World world = {})
      : clock_(platform::Clock::manual(harnessStart())),
        system_(std::move(world), *clock_),
        queue_(*clock_) {
    bridge_ = std::make_unique<NativeBridge>(BridgeEnvironment{queue_, *clock_, system_,
                                                               [this](std::string_view bytes) {
                                                                 lines_.emplace_back(bytes);
                                                                 return true;
                                                               },
                                                               [this](int status) {
                                                                 if (!exitStatus_)
                                                                   exitStatus_ = status;
                                                               }});
  }

  ~BridgeHarness() {
    system_.close();
    bridge_.reset();
  }

  // Hands one line to the bridge, as the input reader would.
  void send(std::string_view line) { bridge_->receive(line); }

  // Runs main-queue work until `count` lines in all have been written or the bridge has
  // stopped, waiting up to five real seconds for store threads. Returns the line count.
  std::size_t awaitLines(std::size_t count) {
    auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (lines_.size() < count && !exitStatus_ && std::chrono::steady_clock::now() < giveUp) {
      queue_.runReady();
      if (lines_.size() >= count || exitStatus_) break;
      queue_.waitForTask(0.01);
    }
    return lines_.size();
  }

  // Runs main-queue work that arrives within a short real-time grace period, for checks
  // that nothing (more) is written.
  void settle() {
    for (int i = 0; i < 20; ++i) {
      queue_.runReady();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    queue_.runReady();
  }

  // Waits until simulated store work has reached one of the world's delays, so that
  // moving the clock afterwards counts the delay from the moment the work began.
  void awaitDelay() { ASSERT_TRUE(clock_->waitForSleepers(1, 5)) << "no store work is waiting"; }

  // Moves virtual time forward, running timers at their moments.
  void advance(double seconds) { queue_.advance(seconds); }

  // Output lines as written, each with its newline.
  const std::vector<std::string>& lines() const { return lines_; }
  // Output line `index` without its newline.
  std::string line(std::size_t index) const {
    const std::string& raw = lines_.at(index);
    return raw.substr(0, raw.size() - 1);
  }
  std::optional<int> exitStatus() const { return exitStatus_; }
  platform::System& system() { return system_; }
  platform::Clock& clock() { return *clock_; }
  platform::MainQueue& queue() { return queue_; }
  NativeBridge& bridge() { return *bridge_; }

 private:
  std::unique_ptr<platform::Clock> clock_;
  platform::System system_;
  platform::MainQueue queue_;
  std::vector<std::string> lines_;
  std::optional<int> exitStatus_;
  std::unique_ptr<NativeBridge> bridge_;
};

}  // namespace pemrix::testing
