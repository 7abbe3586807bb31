// The allowance, cancellation flag and deadline of the running store request.
#include "stores/request_lifetime.h"

#include <variant>

namespace pemrix {

double allowanceOf(const StoreRequest& request) {
  return std::holds_alternative<PermissionRequest>(request) ? kPermissionAllowance
                                                            : kRequestAllowance;
}

RequestLifetime::RequestLifetime(double allowance, const platform::Clock& clock)
    : allowance_(allowance), deadline_(addSeconds(clock.now(), allowance)), clock_(clock) {}

void RequestLifetime::cancel() {
  std::lock_guard<std::mutex> guard(lock_);
  cancelled_ = true;
}

bool RequestLifetime::isActive() const {
  std::lock_guard<std::mutex> guard(lock_);
  if (!cancelled_ && clock_.now() >= deadline_) cancelled_ = true;
  return !cancelled_;
}

}  // namespace pemrix
