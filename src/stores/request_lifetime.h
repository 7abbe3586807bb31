// RequestLifetime: whether the running store request is still wanted. It holds the
// request's allowance, from which both clocks' deadlines come: its own on the wall clock,
// and the delay of the controller's deadline timer on the monotonic one. The controller
// gives the request up with `cancel` (deadline or stop); the stores ask `isActive` before
// each unit of work and before answering, and end silently once it answers false.
//
// Thread safety: `cancel` runs on the main queue; `isActive` and `allowance` on any thread. The
// lock guards only the flag and is held for nothing but the test. A test that passed does not hold
// the request alive: work that passed it may still finish and report, and the controller decides in
// its completion whether that answer still counts.
#pragma once

#include <mutex>

#include "common/instant.h"
#include "common/limits.h"
#include "platform/clock.h"
#include "protocol/native_request.h"

namespace pemrix {

// Seconds a "request-permission" may take (the user answers a system prompt).
using limits::kPermissionAllowance;
// Seconds "list-sources" and "query" may take.
using limits::kRequestAllowance;

// The seconds `request` may take: kPermissionAllowance or kRequestAllowance.
double allowanceOf(const StoreRequest& request);

class RequestLifetime {
 public:
  // Active until `cancel` or until `allowance` seconds have passed on `clock`'s wall time.
  // `clock` must outlive the lifetime.
  RequestLifetime(double allowance, const platform::Clock& clock);
  RequestLifetime(const RequestLifetime&) = delete;
  RequestLifetime& operator=(const RequestLifetime&) = delete;

  // The seconds the request was given, which the controller's deadline timer waits on the
  // monotonic clock.
  double allowance() const { return allowance_; }

  void cancel();
  // False once cancelled or once the wall clock has reached the deadline, and false from
  // then on, even if the wall clock is set back.
  bool isActive() const;

 private:
  mutable std::mutex lock_;
  mutable bool cancelled_ = false;
  const double allowance_;
  const Instant deadline_;
  const platform::Clock& clock_;
};

}  // namespace pemrix
