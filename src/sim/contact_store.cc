// The simulated contact store: serves the world's containers and contacts, with the
// world's delays and faults, only while contacts are readable, and tells its watcher of
// every container it reads.
#include "platform/contact_store.h"

#include <algorithm>

#include "sim/simulated_system_impl.h"

namespace pemrix::platform {

namespace {

ContactRecord contactRecord(const WorldContact& contact) {
  return ContactRecord{contact.id, contact.givenName, contact.familyName, contact.organizationName,
                       contact.jobTitle};
}

bool failsIn(const WorldFaults& faults, const std::string& container) {
  const auto& failing = faults.contactsErrorIn;
  return std::find(failing.begin(), failing.end(), container) != failing.end();
}

bool hasContainer(const World& world, const std::string& id) {
  return std::any_of(world.containers.begin(), world.containers.end(),
                     [&](const WorldContainer& container) { return container.id == id; });
}

}  // namespace

class SimulatedContactStore final : public ContactStore {
 public:
  explicit SimulatedContactStore(SimulatedSystem::Impl& system) : system_(system) {}

  void requestAccess(AccessCompletion completion) override;
  Status containers(std::vector<ContainerInfo>* out) override;
  Status enumerateContacts(const std::string& containerId, const ContactVisitor& visitor) override;
  Status observeChanges(std::function<void()> onChange, ObserverToken* token) override;

 private:
  SimulatedSystem::Impl& system_;
};

void SimulatedContactStore::requestAccess(AccessCompletion completion) {
  system_.requestAccess(WorldEntity::contacts, std::move(completion));
}

Status SimulatedContactStore::containers(std::vector<ContainerInfo>* out) {
  SimulatedSystem::Impl& system = system_;
  system.logCall("containers");
  if (!system.delay(system.world.faults.containersDelay)) return Status();
  if (Status failed = system.faultIn("containers"); !failed.ok()) return failed;
  if (system.world.faults.containersError) {
    system.sourcesListed(WorldEntity::contacts);
    return Status::unavailable("The simulated contact store could not list its containers.");
  }
  if (system.readable(WorldEntity::contacts)) {
    for (const WorldContainer& container : system.world.containers) {
      out->push_back({container.id, container.name});
    }
  }
  system.sourcesListed(WorldEntity::contacts);
  return Status();
}

Status SimulatedContactStore::enumerateContacts(const std::string& containerId,
                                                const ContactVisitor& visitor) {
  SimulatedSystem::Impl& system = system_;
  system.logCall("enumerateContacts");
  system.logContactFetch(containerId);
  const WorldFaults& faults = system.world.faults;
  if (!system.delay(faults.contactsDelay)) return Status();
  if (!system.readable(WorldEntity::contacts)) return Status();
  if (failsIn(faults, containerId)) {
    return Status::unavailable("The simulated contact store could not read the container.");
  }
  if (!hasContainer(system.world, containerId)) {
    return Status::gone("The simulated contact store has no container " + containerId + ".");
  }
  for (const WorldContact& contact : system.world.contacts) {
    if (contact.container != containerId) continue;
    if (!system.delay(faults.itemDelaySeconds)) return Status();
    if (Status failed = system.faultIn("contacts"); !failed.ok()) return failed;
    bool stop = false;
    visitor(contactRecord(contact), stop);
    if (stop) break;
  }
  return Status();
}

Status SimulatedContactStore::observeChanges(std::function<void()> onChange, ObserverToken* token) {
  *token = system_.observe(WorldChange::Store::contacts, std::move(onChange));
  return Status();
}

Authorization SimulatedSystem::contactAuthorization() {
  return authorization(WorldEntity::contacts);
}

Status SimulatedSystem::openContactStore(std::unique_ptr<ContactStore>* store) {
  *store = std::make_unique<SimulatedContactStore>(impl());
  impl().noteStoreCreated(true);
  return Status();
}

}  // namespace pemrix::platform
