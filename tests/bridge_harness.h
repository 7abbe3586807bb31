// BridgeHarness: a NativeBridge over the simulator on virtual time, with its output lines,
// every call of its exit hook (a second exit would show) and every call it made of the
// simulated system captured. Store work runs on real threads; the harness waits (in real
// time, briefly) for their answers to reach the main queue.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bridge/native_bridge.h"
#include "platform/main_queue.h"
#include "sim/simulated_system.h"
#include "sim/simulated_system_impl.h"
#include "sim/world.h"
#include "support/call_recorder.h"
#include "support/manual_clock.h"
#include "support/manual_queue.h"

namespace pemrix::testing {

// 2024-05-01T00:00:00Z, the virtual moment every harness starts at.
inline Instant harnessStart() {
  return Instant(std::chrono::sys_days(std::chrono::year(2024) / 5 / 1));
}

class BridgeHarness {
 public:
  explicit BridgeHarness(platform::World world = {})
      : clock_(harnessStart()), system_(std::move(world), clock_, &recorder_), queue_(clock_) {
    bridge_ = std::make_unique<NativeBridge>(
        BridgeEnvironment{queue_, clock_, system_,
                          [this](std::string_view bytes) {
                            lines_.emplace_back(bytes);
                            return true;
                          },
                          [this](int status) { exits_.push_back(status); }});
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
    while (lines_.size() < count && exits_.empty() && std::chrono::steady_clock::now() < giveUp) {
      testing::runReady(queue_);
      if (lines_.size() >= count || !exits_.empty()) break;
      testing::waitForTask(queue_, 0.01);
    }
    return lines_.size();
  }

  // Runs main-queue work that arrives within a short real-time grace period, for checks
  // that nothing (more) is written.
  void settle() {
    for (int i = 0; i < 20; ++i) {
      testing::runReady(queue_);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    testing::runReady(queue_);
  }

  // Waits until simulated store work has reached one of the world's delays, so that
  // moving the clock afterwards counts the delay from the moment the work began.
  void awaitDelay() { ASSERT_TRUE(clock_.waitForSleepers(1, 5)) << "no store work is waiting"; }

  // Moves virtual time forward, running timers at their moments.
  void advance(double seconds) { testing::advance(queue_, clock_, seconds); }
  // Virtual seconds since the harness started.
  double now() const { return clock_.uptime(); }
  // Moves virtual time to `moment`, running the main queue (and its timers) on the way.
  void advanceTo(double moment) {
    if (moment > now()) advance(moment - now());
  }
  // Moves virtual time to `moment` without running the main queue.
  void moveClockTo(double moment) {
    if (moment > now()) clock_.advance(moment - now());
  }
  // Runs what has reached the main queue; returns how many tasks ran.
  std::size_t runReady() { return testing::runReady(queue_); }
  // Waits (in real time, at most `realSeconds`) for a task to reach the main queue.
  bool waitForTask(double realSeconds) { return testing::waitForTask(queue_, realSeconds); }

  // Posts one store's change notification now, from a thread of the simulated system.
  void postChange(platform::WorldChange::Store store) { system_.impl().postChange(store); }
  // What the bridge has asked of the simulated system so far.
  SystemRecord record() const { return recorder_.record(); }

  // Output lines as written, each with its newline.
  const std::vector<std::string>& lines() const { return lines_; }
  // Output line `index` without its newline.
  std::string line(std::size_t index) const {
    const std::string& raw = lines_.at(index);
    return raw.substr(0, raw.size() - 1);
  }
  // Output lines without their newlines.
  std::vector<std::string> texts() const {
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < lines_.size(); ++i) texts.push_back(line(i));
    return texts;
  }
  // The status of the first exit, and every exit call in order.
  std::optional<int> exitStatus() const {
    return exits_.empty() ? std::nullopt : std::optional<int>(exits_.front());
  }
  const std::vector<int>& exits() const { return exits_; }
  platform::System& system() { return system_; }
  ManualClock& clock() { return clock_; }
  platform::MainQueue& queue() { return queue_; }
  NativeBridge& bridge() { return *bridge_; }

 private:
  ManualClock clock_;
  CallRecorder recorder_;  // outlives the system and the observer tokens of its stores
  platform::SimulatedSystem system_;
  platform::MainQueue queue_;
  std::vector<std::string> lines_;
  std::vector<int> exits_;
  std::unique_ptr<NativeBridge> bridge_;
};

}  // namespace pemrix::testing
