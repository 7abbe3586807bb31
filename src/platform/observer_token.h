// ObserverToken: the registration of one store-change observer. Removing the observer is
// tied to the token's lifetime: when the last copy goes away the observer is removed and
// its callback is never called again.
#pragma once

#include <memory>

namespace pemrix::platform {

class ObserverToken {
 public:
  ObserverToken() = default;
  // `removal` owns whatever keeps the observer registered; releasing it removes it.
  explicit ObserverToken(std::shared_ptr<void> removal) : removal_(std::move(removal)) {}

 private:
  std::shared_ptr<void> removal_;
};

}  // namespace pemrix::platform
