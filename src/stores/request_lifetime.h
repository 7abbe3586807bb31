// RequestLifetime: whether the running store request is still wanted. The controller
// gives the request up with `cancel` (deadline or stop); the stores ask `isActive` before
// each unit of work and before answering, and end silently once it answers false.
//
// Thread safety: `cancel` runs on the main queue; `isActive` on any thread. The lock
// guards only the flag and is held for nothing but the test. A test that passed does not
// hold the request alive: work that passed it may still finish and report, and the
// controller decides in its completion whether that answer still counts.
#pragma once

#include <mutex>

#include "common/instant.h"
#include "common/limits.h"
#include "platform/clock.h"

namespace pemrix {

// Seconds a "request-permission" may take (the user answers a system prompt).
using limits::kPermissionAllowance;
// Seconds "list-sources" and "query" may take.
using limits::kRequestAllowance;

class RequestLifetime {
 public:
  // Active until `cancel` or until `seconds` have passed on `clock`'s wall time. `clock`
  // must outlive the lifetime.
  RequestLifetime(double seconds, const platform::Clock& clock);
  RequestLifetime(const RequestLifetime&) = delete;
  RequestLifetime& operator=(const RequestLifetime&) = delete;

  void cancel();
  // False once cancelled or once the wall clock has reached the deadline, and false from
  // then on, even if the wall clock is set back.
  bool isActive() const;

 private:
  mutable std::mutex lock_;
  mutable bool cancelled_ = false;
  const Instant deadline_;
  const platform::Clock& clock_;
};

}  // namespace pemrix
