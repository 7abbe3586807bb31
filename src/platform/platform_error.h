// PlatformError: an error reported by the calendar or contact service, such as a failed
// container fetch. The stores never show its text to the application; they answer with
// their own fixed failure instead.
#pragma once

#include <optional>
#include <string>

namespace pemrix::platform {

struct PlatformError {
  std::string description;
};

// The outcome of a platform call that can fail: nothing on success, the error otherwise.
using PlatformStatus = std::optional<PlatformError>;

}  // namespace pemrix::platform
