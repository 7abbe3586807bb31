// The simulated system's registry of change observers.
#include "sim/observer_registry.h"

#include <vector>

namespace pemrix::platform {

uint64_t ObserverRegistry::add(WorldChange::Store store, std::function<void()> callback) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  uint64_t key = nextKey_++;
  entries_.emplace(key, Entry{store, std::move(callback)});
  return key;
}

bool ObserverRegistry::remove(uint64_t key) {
  std::function<void()> dropped;  // destroyed after the lock is released
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  auto found = entries_.find(key);
  if (found == entries_.end()) return false;
  dropped = std::move(found->second.callback);
  entries_.erase(found);
  return true;
}

void ObserverRegistry::deliver(WorldChange::Store store) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<uint64_t> keys;
  for (const auto& [key, entry] : entries_) {
    if (entry.store == store) keys.push_back(key);
  }
  for (uint64_t key : keys) {
    // A callback may have removed a later observer (or itself) on this thread.
    auto found = entries_.find(key);
    if (found == entries_.end()) continue;
    std::function<void()> callback = found->second.callback;
    callback();
  }
}

}  // namespace pemrix::platform
