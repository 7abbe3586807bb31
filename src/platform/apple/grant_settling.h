// The wait of an access completion that reports a grant: EventKit and Contacts have been
// seen to report a grant while the status still reads the state before it for a short
// moment, so both adapters' completions read the status again, on the framework's
// completion thread, until it shows the grant or the wait is over. Plain C++.
#pragma once

#include <chrono>
#include <thread>

namespace pemrix::platform {

// The longest wait for the status to show a grant, and how often it is read meanwhile.
inline constexpr std::chrono::milliseconds kGrantSettleTime{1000};
inline constexpr std::chrono::milliseconds kGrantPollInterval{50};

// Calls `settled` until it returns true or kGrantSettleTime has passed, sleeping
// kGrantPollInterval on the calling thread between calls.
template <typename Settled>
void waitForGrantToSettle(Settled settled) {
  for (std::chrono::milliseconds waited{0}; !settled() && waited < kGrantSettleTime;
       waited += kGrantPollInterval) {
    std::this_thread::sleep_for(kGrantPollInterval);
  }
}

}  // namespace pemrix::platform
