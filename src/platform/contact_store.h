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
// A store is made by its System (platform/system.h). Implementations: Contacts
// (apple/contact_store.mm), evolution-data-server (eds/contact_store.cc), the simulator's
// store (sim/contact_store.cc), which tells its watcher of every container it reads, and on
// Linux desktops the stores of every loaded backend as one (desktop/desktop_contact_store.cc).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/calendar_store.h"
#include "platform/observer_token.h"
#include "platform/status.h"

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
  virtual ~ContactStore() = default;
  ContactStore(const ContactStore&) = delete;
  ContactStore& operator=(const ContactStore&) = delete;

  // Asks the user for read access and returns at once; `completion` is called later, once,
  // on another thread.
  virtual void requestAccess(AccessCompletion completion) = 0;

  // Puts all containers in `out`, in the store's stable order.
  virtual Status containers(std::vector<ContainerInfo>* out) = 0;

  // Calls `visitor` synchronously for each contact of the container `containerId` as it is
  // stored (contacts linked across containers are not merged), in the store's order, until
  // it sets its stop flag.
  virtual Status enumerateContacts(const std::string& containerId,
                                   const ContactVisitor& visitor) = 0;

  // Calls `onChange` whenever the contact service reports a change (from any sender),
  // until the token put in `*token` is released.
  virtual Status observeChanges(std::function<void()> onChange, ObserverToken* token) = 0;

 protected:
  ContactStore() = default;
};

}  // namespace pemrix::platform
