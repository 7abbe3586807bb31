// Small helpers for tests of the stores: an instant from its text, and waiting in real time
// for what another thread does.
#pragma once

#include <chrono>
#include <thread>

#include "common/timestamp.h"

namespace pemrix::testing {

// The instant `text` names ("2024-05-01T00:00:00Z"); the test must pass a valid one.
inline Instant at(const char* text) {
  return parseDate(text).value();
}

// Waits (in real time) until `condition` holds; false after two seconds.
template <typename Condition>
bool eventually(Condition condition) {
  using namespace std::chrono_literals;
  auto giveUp = std::chrono::steady_clock::now() + 2s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

}  // namespace pemrix::testing
