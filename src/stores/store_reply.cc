// The shared answer of a store request and the check for one that was never given.
#include "stores/store_reply.h"

#include <atomic>
#include <cassert>

namespace pemrix {

struct StoreReply::State {
  State(Lifetime l, StoreCompletion c, BridgeFailure u)
      : lifetime(std::move(l)), completion(std::move(c)), unanswered(u) {}
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  ~State() {
    if (answered.load() || !lifetime->isActive()) return;
    assert(!"a store request ended without answering while it was still active");
    try {
      completion(unanswered);
    } catch (...) {
      // Nothing more can be done here; the deadline still reports the request.
    }
  }

  const Lifetime lifetime;
  const StoreCompletion completion;
  const BridgeFailure unanswered;
  std::atomic<bool> answered{false};
};

StoreReply::StoreReply(Lifetime lifetime, StoreCompletion completion, BridgeFailure unanswered)
    : state_(std::make_shared<State>(std::move(lifetime), std::move(completion), unanswered)) {}

void StoreReply::operator()(StoreResult result) const {
  if (state_->answered.exchange(true)) return;
  if (!state_->lifetime->isActive()) return;
  state_->completion(std::move(result));
}

}  // namespace pemrix
