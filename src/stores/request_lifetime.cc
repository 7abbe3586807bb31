// The cancellation flag and deadline of the running store request.
#include "stores/request_lifetime.h"

namespace pemrix {

RequestLifetime::RequestLifetime(double seconds, const platform::Clock& clock)
    : deadline_(addSeconds(clock.now(), seconds)), clock_(clock) {}

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
