// The choice of backends from the session bus's names (the rule is in backend_choice.h).
#include "platform/desktop/backend_choice.h"

namespace pemrix::platform::desktop {

std::vector<BackendModule> chooseBackends(const std::optional<BusNames>& names) {
  std::vector<BackendModule> chosen;
  if (names) {
    if (names->owned.contains(kEdsRegistryName) || names->activatable.contains(kEdsRegistryName)) {
      chosen.push_back(kEdsModule);
    }
    if (names->owned.contains(kAkonadiControlName)) chosen.push_back(kAkonadiModule);
  }
  if (chosen.empty()) chosen.push_back(kEdsModule);
  return chosen;
}

}  // namespace pemrix::platform::desktop
