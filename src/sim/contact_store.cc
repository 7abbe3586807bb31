// The simulated contact store: serves the world's containers and contacts, with the
// world's delays and faults, only while contacts are readable, and records every fetch
// request it is given.
#include "platform/contact_store.h"

#include <algorithm>

#include "sim/simulated_system_impl.h"

namespace pemrix::platform {

namespace {

bool wants(const ContactFetchRequest& request, ContactKey key) {
  const auto& keys = request.keysToFetch;
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

// The contact as fetched: properties that were not asked for stay empty.
ContactRecord fetched(const WorldContact& contact, const ContactFetchRequest& request) {
  ContactRecord record;
  if (wants(request, ContactKey::identifier)) record.identifier = contact.id;
  if (wants(request, ContactKey::givenName)) record.givenName = contact.givenName;
  if (wants(request, ContactKey::familyName)) record.familyName = contact.familyName;
  if (wants(request, ContactKey::organizationName)) {
    record.organizationName = contact.organizationName;
  }
  if (wants(request, ContactKey::jobTitle)) record.jobTitle = contact.jobTitle;
  return record;
}

bool failsIn(const WorldFaults& faults, const std::string& container) {
  const auto& failing = faults.contactsErrorIn;
  return std::find(failing.begin(), failing.end(), container) != failing.end();
}

}  // namespace

struct ContactStore::Impl {
  System::Impl& system;
};

Authorization ContactStore::authorization(System& system) {
  return system.authorization(WorldEntity::contacts);
}

ContactStore::ContactStore(System& system) : impl_(new Impl{system.impl()}) {
  impl_->system.noteStoreCreated(true);
}

ContactStore::~ContactStore() = default;

void ContactStore::requestAccess(AccessCompletion completion) {
  impl_->system.requestAccess(WorldEntity::contacts, std::move(completion));
}

PlatformStatus ContactStore::containers(std::vector<ContainerInfo>* out) {
  System::Impl& system = impl_->system;
  system.logCall("containers");
  if (!system.delay(system.world.faults.containersDelay)) return std::nullopt;
  if (PlatformStatus failed = system.faultIn("containers")) return failed;
  if (system.world.faults.containersError) {
    system.sourcesListed(WorldEntity::contacts);
    return PlatformError{"The simulated contact store could not list its containers."};
  }
  if (system.readable(WorldEntity::contacts)) {
    for (const WorldContainer& container : system.world.containers) {
      out->push_back({container.id, container.name});
    }
  }
  system.sourcesListed(WorldEntity::contacts);
  return std::nullopt;
}

PlatformStatus ContactStore::enumerateContacts(const ContactFetchRequest& request,
                                               const ContactVisitor& visitor) {
  System::Impl& system = impl_->system;
  system.logCall("enumerateContacts");
  system.logContactFetch(request);
  const WorldFaults& faults = system.world.faults;
  if (!system.delay(faults.contactsDelay)) return std::nullopt;
  if (!system.readable(WorldEntity::contacts)) return std::nullopt;
  if (failsIn(faults, request.containerIdentifier)) {
    return PlatformError{"The simulated contact store could not read the container."};
  }
  for (const WorldContact& contact : system.world.contacts) {
    if (contact.container != request.containerIdentifier) continue;
    if (!system.delay(faults.itemDelaySeconds)) return std::nullopt;
    if (PlatformStatus failed = system.faultIn("contacts")) return failed;
    bool stop = false;
    visitor(fetched(contact, request), stop);
    if (stop) break;
  }
  return std::nullopt;
}

ObserverToken ContactStore::observeChanges(std::function<void()> onChange) {
  return impl_->system.observe(WorldChange::Store::contacts, std::move(onChange));
}

}  // namespace pemrix::platform
