// The desktop contact store: the containers of every backend, and each container's
// contacts read from the backend that owns it.
#include <utility>

#include "platform/desktop/desktop_stores.h"

namespace pemrix::platform::desktop {

namespace {

class DesktopContactStore final : public ContactStore {
 public:
  DesktopContactStore(SourceRouting routing, std::vector<std::unique_ptr<ContactStore>> stores)
      : routing_(std::move(routing)), stores_(std::move(stores)) {}

  void requestAccess(AccessCompletion completion) override {
    requestEach(
        stores_.size(),
        [&](std::size_t backend, AccessCompletion done) {
          stores_[backend]->requestAccess(std::move(done));
        },
        std::move(completion));
  }

  Status containers(std::vector<ContainerInfo>* out) override {
    std::vector<ContainerInfo> all;
    for (std::size_t backend = 0; backend < stores_.size(); ++backend) {
      std::vector<ContainerInfo> own;
      if (Status failed = stores_[backend]->containers(&own); !failed.ok()) return failed;
      for (ContainerInfo& container : own) {
        all.push_back({routing_.outward(backend, container.identifier), std::move(container.name)});
      }
    }
    out->insert(out->end(), all.begin(), all.end());
    return Status();
  }

  Status enumerateContacts(const std::string& containerId, const ContactVisitor& visitor) override {
    std::map<std::size_t, std::vector<std::string>> byBackend;
    if (Status gone = routing_.split({containerId}, &byBackend); !gone.ok()) return gone;
    const auto& [backend, own] = *byBackend.begin();
    return stores_[backend]->enumerateContacts(own.front(), visitor);
  }

  Status observeChanges(std::function<void()> onChange, ObserverToken* token) override {
    return observeEach(stores_, onChange, token);
  }

 private:
  SourceRouting routing_;
  std::vector<std::unique_ptr<ContactStore>> stores_;
};

}  // namespace

std::unique_ptr<ContactStore> contactStoreOver(SourceRouting routing,
                                               std::vector<std::unique_ptr<ContactStore>> stores) {
  return std::make_unique<DesktopContactStore>(std::move(routing), std::move(stores));
}

}  // namespace pemrix::platform::desktop
