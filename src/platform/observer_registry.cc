// ObserverRegistry: observers added and released from any thread, called on notify with the
// lock held so that a release waits for a call in progress.
#include "platform/observer_registry.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

namespace pemrix::platform {

struct ObserverRegistry::State {
  std::recursive_mutex mutex;
  std::map<uint64_t, std::function<void()>> observers;  // guarded by mutex
  uint64_t next = 0;                                    // guarded by mutex
};

ObserverRegistry::ObserverRegistry() : state_(std::make_shared<State>()) {}

ObserverToken ObserverRegistry::add(std::function<void()> onChange) {
  uint64_t key;
  {
    std::lock_guard<std::recursive_mutex> lock(state_->mutex);
    key = state_->next++;
    state_->observers.emplace(key, std::move(onChange));
  }
  return ObserverToken(std::shared_ptr<void>(nullptr, [state = state_, key](void*) {
    std::function<void()> dropped;  // destroyed after the lock is released
    std::lock_guard<std::recursive_mutex> lock(state->mutex);
    auto found = state->observers.find(key);
    if (found == state->observers.end()) return;
    dropped = std::move(found->second);
    state->observers.erase(found);
  }));
}

void ObserverRegistry::notify() {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  std::vector<uint64_t> keys;
  for (const auto& entry : state_->observers) keys.push_back(entry.first);
  for (uint64_t key : keys) {
    // A callback may have released a later observer, or itself, on this thread.
    auto found = state_->observers.find(key);
    if (found == state_->observers.end()) continue;
    std::function<void()> call = found->second;
    call();
  }
}

}  // namespace pemrix::platform
