// ObserverRegistry: the change observers registered with the simulated system, per store
// kind, and the delivery of one change notification to them.
//
// Removal is synchronous with delivery: one mutex is held while callbacks run and while an
// observer is removed, so once `remove` has returned that observer's callback is neither
// running nor ever called again. The mutex is recursive so that a callback may release its
// own registration. Callbacks must not block on another thread that adds or removes
// observers.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

#include "sim/world.h"

namespace pemrix::platform {

class ObserverRegistry {
 public:
  // Registers `callback` for notifications of `store`; returns its key for `remove`.
  uint64_t add(WorldChange::Store store, std::function<void()> callback);
  // Unregisters one observer, waiting for a delivery in progress on another thread;
  // returns whether it was still registered.
  bool remove(uint64_t key);
  // Calls every observer of `store` registered now, in registration order, on the caller.
  void deliver(WorldChange::Store store);

 private:
  struct Entry {
    WorldChange::Store store;
    std::function<void()> callback;
  };

  mutable std::recursive_mutex mutex_;
  std::map<uint64_t, Entry> entries_;
  uint64_t nextKey_ = 1;
};

}  // namespace pemrix::platform
