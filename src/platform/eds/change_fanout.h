// ChangeFanout: the change observers of one store. The store's sources (registry signals,
// client views, revision updates) call `notify`; every observer added and not yet
// released is called, on the notifying thread.
//
// Thread safety: every member may be called from any thread; observers are called without
// the lock held.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "platform/observer_token.h"

namespace pemrix::platform::eds {

class ChangeFanout : public std::enable_shared_from_this<ChangeFanout> {
 public:
  // Calls `onChange` on every `notify` until the token is released.
  ObserverToken add(std::function<void()> onChange);
  void notify();

 private:
  std::mutex mutex_;
  std::map<int, std::function<void()>> observers_;  // guarded by mutex_
  int next_ = 0;                                    // guarded by mutex_
};

}  // namespace pemrix::platform::eds
