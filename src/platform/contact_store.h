// ContactStore: the operating system's contact service, reduced to what the bridge reads.
// Only the five properties of `ContactKey` exist here; nothing else of a contact can be
// requested through this interface.
//
// Thread safety: `authorization` may be called from any thread; everything else from the
// stores' serial queue only. The access completion and change callbacks arrive on threads
// of the service's choosing.
//
// Failures: as for the calendar store (platform/calendar_store.h): a `PlatformStatus` from
// every call that can fail, results through pointers, no exception from the service.
//
// Implementations: Contacts (apple/contact_store.mm), evolution-data-server
// (eds/contact_store.cc) and the simulator's store (sim/contact_store.cc), which records
// every fetch request.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/calendar_store.h"
#include "platform/observer_token.h"
#include "platform/platform_error.h"
#include "platform/system.h"

namespace pemrix::platform {

// A contact account.
struct ContainerInfo {
  std::string identifier;
  std::string name;
};

// The contact properties that can be fetched.
enum class ContactKey { identifier, givenName, familyName, organizationName, jobTitle };

// A contact with the properties that were fetched; the others are empty.
struct ContactRecord {
  std::string identifier;
  std::string givenName;
  std::string familyName;
  std::string organizationName;
  std::string jobTitle;
};

// A request for the contacts of one container, as the service takes it.
struct ContactFetchRequest {
  std::vector<ContactKey> keysToFetch;
  std::string containerIdentifier;  // the predicate: contacts in this container
  bool unifyResults = true;         // the service's default
  bool mutableObjects = false;
};

using ContactVisitor = std::function<void(const ContactRecord& contact, bool& stop)>;

class ContactStore {
 public:
  // How far the user lets this process read contacts, as it stands now; creates no store.
  static Authorization authorization(System& system);

  explicit ContactStore(System& system);
  ~ContactStore();
  ContactStore(const ContactStore&) = delete;
  ContactStore& operator=(const ContactStore&) = delete;

  // Asks the user for read access and returns at once; `completion` is called later, once,
  // on another thread.
  void requestAccess(AccessCompletion completion);

  // Puts all containers in `out`, in the store's stable order.
  PlatformStatus containers(std::vector<ContainerInfo>* out);

  // Calls `visitor` synchronously for each contact the request selects, until it sets its
  // stop flag.
  PlatformStatus enumerateContacts(const ContactFetchRequest& request,
                                   const ContactVisitor& visitor);

  // Calls `onChange` whenever the contact service reports a change (from any sender),
  // until the returned token is released.
  ObserverToken observeChanges(std::function<void()> onChange);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace pemrix::platform
