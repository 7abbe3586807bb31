// StoreReply: the one way a store request answers. Every path of a request ends in one call
// of its reply, or silently once the request's lifetime is over. Copies share one answer:
// the first call counts and later calls do nothing, and a call made after the lifetime
// ended is dropped, so the controller never hears an answer it has given up on.
//
// When the last copy goes away unanswered while the request is still active, a path forgot
// to answer. Debug builds stop there (assert). Release builds answer with the failure given
// as `unanswered`, so the application hears of it at once rather than at the deadline.
//
// Thread safety: copies may be called, copied and destroyed on any thread.
#pragma once

#include <functional>
#include <memory>
#include <variant>

#include "protocol/bridge_failure.h"
#include "protocol/wire_json.h"
#include "stores/request_lifetime.h"

namespace pemrix {

// The answer of a store request: a result object, or a failure to report unchanged.
using StoreResult = std::variant<Json, BridgeFailure>;
using StoreCompletion = std::function<void(StoreResult)>;
using Lifetime = std::shared_ptr<RequestLifetime>;

class StoreReply {
 public:
  StoreReply(Lifetime lifetime, StoreCompletion completion, BridgeFailure unanswered);

  // Answers the request, unless it was answered already or its lifetime is over.
  void operator()(StoreResult result) const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace pemrix
