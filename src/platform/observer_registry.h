// ObserverRegistry: the change observers of one store, and the one way every backend calls
// them. It keeps ObserverToken's promise: once the release of a token has returned, that
// observer's callback is neither running on another thread nor ever called again, so a
// store's owner may destroy what the callback touches right after releasing the token.
//
// Callbacks run with the registry's lock held, which makes a release wait for a call in
// progress. The lock is recursive so that a callback may release a token (its own or
// another's) of the same registry on its own thread. A callback must therefore not wait for
// another thread that adds or releases observers of this registry; the bridge's callbacks
// only post a task and return.
//
// Thread safety: every member may be called from any thread; tokens may be released on any
// thread and may outlive the registry.
#pragma once

#include <functional>
#include <memory>

#include "platform/observer_token.h"

namespace pemrix::platform {

class ObserverRegistry {
 public:
  ObserverRegistry();
  ObserverRegistry(const ObserverRegistry&) = delete;
  ObserverRegistry& operator=(const ObserverRegistry&) = delete;

  // Calls `onChange` on every `notify` until the returned token is released.
  ObserverToken add(std::function<void()> onChange);
  // Calls every observer registered now, in the order they were added, on the caller's
  // thread.
  void notify();

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace pemrix::platform
