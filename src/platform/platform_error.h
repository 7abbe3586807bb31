// PlatformError: an error reported by the calendar or contact service, such as a failed
// container fetch. The stores never show its text to the application; they answer with
// their own fixed failure instead.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace pemrix::platform {

struct PlatformError {
  std::string description;
};

// The outcome of a platform call that can fail: nothing on success, the error otherwise.
using PlatformStatus = std::optional<PlatformError>;

// Runs `work`, adapter code that reports a service failure by throwing PlatformError, and
// returns that failure as a status; any other exception passes through.
template <typename Work>
PlatformStatus statusOf(Work&& work) {
  try {
    work();
    return std::nullopt;
  } catch (PlatformError& error) {
    return std::move(error);
  }
}

}  // namespace pemrix::platform
