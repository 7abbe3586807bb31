// ContactReader: the contact store's work over Akonadi. Containers are the collections
// holding contacts (id as text, display name); contacts come from the client's cache of
// parsed address books.
//
// Thread safety: Qt thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/akonadi/store_client.h"
#include "platform/contact_store.h"

namespace pemrix::platform::akonadi {

class ContactReader {
 public:
  explicit ContactReader(StoreClient& client) : client_(client) {}

  Status containers(std::vector<ContainerInfo>* out);
  Status enumerateContacts(const std::string& containerId, const ContactVisitor& visitor);
  ObserverToken observe(std::function<void()> onChange);

 private:
  StoreClient& client_;
};

}  // namespace pemrix::platform::akonadi
