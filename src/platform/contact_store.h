// ContactStore: the operating system's contact service, reduced to what the bridge reads:
// contact accounts, and the contacts of one account with five properties each. Nothing
// else of a contact can be read through this interface.
//
// Thread safety: `authorization` may be called from any thread; everything else from the
// stores' serial queue only. The access completion and change callbacks arrive on threads
// of the service's choosing.
//
// Failures: as for the calendar store (platform/calendar_store.h): a Status from every call
// that can fail, results through pointers, no exception from the service. A read of a
// container the service no longer has fails as gone.
//
// Implementations: Contacts (apple/contact_store.mm), evolution-data-server
// (eds/contact_store.cc) and the simulator's store (sim/contact_store.cc), which tells its
// watcher of every container it reads.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/calendar_store.h"
#include "platform/observer_token.h"
#include "platform/status.h"
#include "platform/system.h"

namespace pemrix::platform {

// A contact account.
struct ContainerInfo {
  std::string identifier;
  std::string name;
};

// A contact with the five properties the bridge reads; a property the contact lacks is
// empty.
struct ContactRecord {
  std::string identifier;
  std::string givenName;
  std::string familyName;
  std::string organizationName;
  std::string jobTitle;
};

using ContactVisitor = std::function<void(const ContactRecord& contact, bool& stop)>;

class ContactStore {
 public:
  // How far the user lets this process read contacts, as it stands now; creates no store.
  static Authorization authorization(System& system);

  // Makes a store and puts it in `*store`; leaves `*store` alone when that fails.
  static Status open(System& system, std::unique_ptr<ContactStore>* store);
  ~ContactStore();
  ContactStore(const ContactStore&) = delete;
  ContactStore& operator=(const ContactStore&) = delete;

  // Asks the user for read access and returns at once; `completion` is called later, once,
  // on another thread.
  void requestAccess(AccessCompletion completion);

  // Puts all containers in `out`, in the store's stable order.
  Status containers(std::vector<ContainerInfo>* out);

  // Calls `visitor` synchronously for each contact of the container `containerId` as it is
  // stored (contacts linked across containers are not merged), in the store's order, until
  // it sets its stop flag.
  Status enumerateContacts(const std::string& containerId, const ContactVisitor& visitor);

  // Calls `onChange` whenever the contact service reports a change (from any sender),
  // until the token put in `*token` is released.
  Status observeChanges(std::function<void()> onChange, ObserverToken* token);

  struct Impl;

 private:
  explicit ContactStore(std::unique_ptr<Impl> impl);

  std::unique_ptr<Impl> impl_;
};

}  // namespace pemrix::platform
