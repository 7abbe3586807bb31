// ContactReader: address-book collections and their kept contacts.
#include "platform/akonadi/contact_reader.h"

namespace pemrix::platform::akonadi {

Status ContactReader::containers(std::vector<ContainerInfo>* out) {
  return statusOf([&] {
    for (const Akonadi::Collection& collection : client_.collections(Content::contacts)) {
      out->push_back({std::to_string(collection.id()), collection.displayName().toStdString()});
    }
  });
}

Status ContactReader::enumerateContacts(const std::string& containerId,
                                        const ContactVisitor& visitor) {
  // A copy: a visitor may run a nested event loop in which a change drops the cache.
  std::vector<ContactRecord> contacts;
  Status read = statusOf([&] { contacts = client_.contacts(containerId); });
  if (!read.ok()) return read;
  for (const ContactRecord& contact : contacts) {
    bool stop = false;
    visitor(contact, stop);
    if (stop) break;
  }
  return Status();
}

ObserverToken ContactReader::observe(std::function<void()> onChange) {
  return client_.observe(true, std::move(onChange));
}

}  // namespace pemrix::platform::akonadi
