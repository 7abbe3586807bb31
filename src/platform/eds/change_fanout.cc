// ChangeFanout: observers added and released from any thread, called on notify.
#include "platform/eds/change_fanout.h"

#include <vector>

namespace pemrix::platform::eds {

ObserverToken ChangeFanout::add(std::function<void()> onChange) {
  int id;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    id = next_++;
    observers_.emplace(id, std::move(onChange));
  }
  std::weak_ptr<ChangeFanout> self = weak_from_this();
  return ObserverToken(std::shared_ptr<void>(nullptr, [self, id](void*) {
    if (auto fanout = self.lock()) {
      std::lock_guard<std::mutex> lock(fanout->mutex_);
      fanout->observers_.erase(id);
    }
  }));
}

void ChangeFanout::notify() {
  std::vector<std::function<void()>> calls;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [id, call] : observers_) calls.push_back(call);
  }
  for (const auto& call : calls) call();
}

}  // namespace pemrix::platform::eds
