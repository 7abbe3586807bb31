// The contact store on macOS: the Contacts framework's CNContactStore, translated to the
// plain records of the contact store interface. Only translation happens here; every rule of
// the bridge (search, limits, scan cap, permission states) lives in the portable stores.
//
// The adapter fetches exactly the five keys of the properties it reads (kKeysToFetch, checked
// by tests/check_contact_keys.py): Contacts raises an exception for a property that was not
// fetched. Contacts come per container, as stored (not unified), as immutable objects. A
// container the store no longer has reads as gone. As with the calendar store, a store keeps
// the view of contacts it had when access was last different: after access changes (through
// the bridge's own request, or in System Settings, say from denied to full) the store is
// replaced by a fresh one. The check runs at the start of each use, in `containers`. Right
// after the first grant a fresh store can still list nothing, or fail: with access given,
// that is replaced once more and read again.
//
// Failures: an NSError or an Objective-C exception raised by a Contacts call becomes an
// unavailable Status; the enumeration block catches whatever the visitor throws, stops, and
// it is rethrown once Contacts has returned.
#include "platform/contact_store.h"

#import <Contacts/Contacts.h>
#import <Foundation/Foundation.h>
#import <dispatch/dispatch.h>

#include <exception>

#include "platform/apple/apple_authorization.h"
#include "platform/apple/apple_system.h"
#include "platform/apple/grant_settling.h"
#include "platform/apple/objc_values.h"

namespace pemrix::platform {

namespace {

// The keys of the five properties that `contactRecord` reads.
NSArray<id<CNKeyDescriptor>>* keysToFetch() {
  NSMutableArray<id<CNKeyDescriptor>>* keys = [NSMutableArray arrayWithCapacity:5];
  for (NSString* key : {CNContactIdentifierKey, CNContactGivenNameKey, CNContactFamilyNameKey,
                        CNContactOrganizationNameKey, CNContactJobTitleKey}) {
    [keys addObject:key];
  }
  return keys;
}

CNContactFetchRequest* fetchRequest(const std::string& containerId) {
  CNContactFetchRequest* fetch = [[CNContactFetchRequest alloc] initWithKeysToFetch:keysToFetch()];
  fetch.predicate = [CNContact predicateForContactsInContainerWithIdentifier:nsString(containerId)];
  fetch.unifyResults = NO;
  fetch.mutableObjects = NO;
  return fetch;
}

ContactRecord contactRecord(CNContact* contact) {
  return ContactRecord{utf8(contact.identifier), utf8(contact.givenName), utf8(contact.familyName),
                       utf8(contact.organizationName), utf8(contact.jobTitle)};
}

// The contacts status; -1 (reported as "unknown") if Contacts raised.
NSInteger contactsStatus() {
  @try {
    return [CNContactStore authorizationStatusForEntityType:CNEntityTypeContacts];
  } @catch (NSException*) {
    return -1;
  }
}

// Whether contacts can be read at `status`.
bool readableStatus(NSInteger status) {
  return allowsReading(authorizationFromContacts(status));
}

}  // namespace

class AppleContactStore final : public ContactStore {
 public:
  struct Impl;
  explicit AppleContactStore(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
  ~AppleContactStore() override = default;

  void requestAccess(AccessCompletion completion) override;
  Status containers(std::vector<ContainerInfo>* out) override;
  Status enumerateContacts(const std::string& containerId, const ContactVisitor& visitor) override;
  Status observeChanges(std::function<void()> onChange, ObserverToken* token) override;

 private:
  std::unique_ptr<Impl> impl_;
};

struct AppleContactStore::Impl {
  // Replaces the store when access changed since it last served contacts, so that the
  // new one sees what access now allows. Stores' queue only.
  void refresh() {
    const CNAuthorizationStatus now =
        [CNContactStore authorizationStatusForEntityType:CNEntityTypeContacts];
    if (now != served) store = [[CNContactStore alloc] init];
    served = now;
  }

  // The containers Contacts lists; nil, with `error` set, when it failed.
  NSArray<CNContainer*>* _Nullable list(NSError** error) {
    return [store containersMatchingPredicate:nil error:error];
  }

  // The containers; a store that lists none, or fails, while contacts are readable is
  // replaced once and asked again.
  Status containers(std::vector<ContainerInfo>* out) {
    refresh();
    NSError* error = nil;
    NSArray<CNContainer*>* found = list(&error);
    if ((found == nil || found.count == 0) && readableStatus(served)) {
      store = [[CNContactStore alloc] init];
      error = nil;
      found = list(&error);
    }
    if (found == nil) {
      if (error != nil) return statusOfError(error);
      return Status::unavailable("The contact store listed no containers.");
    }
    for (CNContainer* container in found) {
      out->push_back(ContainerInfo{utf8(container.identifier), utf8(container.name)});
    }
    return Status();
  }

  // Ok when the store has the container `containerId`, gone when it has not.
  Status findContainer(const std::string& containerId) {
    NSMutableArray<NSString*>* identifiers = [NSMutableArray arrayWithCapacity:1];
    [identifiers addObject:nsString(containerId)];
    NSPredicate* named = [CNContainer predicateForContainersWithIdentifiers:identifiers];
    NSError* error = nil;
    NSArray<CNContainer*>* found = [store containersMatchingPredicate:named error:&error];
    if (found == nil) {
      if (error != nil) return statusOfError(error);
      return Status::unavailable("The contact store could not look up the container.");
    }
    if (found.count == 0)
      return Status::gone("The contact store has no container " + containerId + ".");
    return Status();
  }

  CNContactStore* store = [[CNContactStore alloc] init];
  // The status when the store last served contacts; "not determined" until then.
  CNAuthorizationStatus served = CNAuthorizationStatusNotDetermined;
};

Authorization AppleSystem::contactAuthorization() {
  return authorizationFromContacts(contactsStatus());
}

Status AppleSystem::openContactStore(std::unique_ptr<ContactStore>* store) {
  std::unique_ptr<AppleContactStore::Impl> impl;
  if (std::exception_ptr raised =
          caught([&] { impl = std::make_unique<AppleContactStore::Impl>(); })) {
    return raisedStatus(raised);
  }
  *store = std::make_unique<AppleContactStore>(std::move(impl));
  return Status();
}

void AppleContactStore::requestAccess(AccessCompletion completion) {
  // A grant whose status still reads "not determined" is given time to settle
  // (grant_settling.h).
  auto handler = ^(BOOL granted, NSError* _Nullable error) {
    @autoreleasepool {
      if (granted) {
        waitForGrantToSettle([] { return contactsStatus() != CNAuthorizationStatusNotDetermined; });
      }
      (void)caught([&] { completion(statusOfError(error)); });
    }
  };
  CNContactStore* store = impl_->store;
  std::exception_ptr failed = caught(
      [&] { [store requestAccessForEntityType:CNEntityTypeContacts completionHandler:handler]; });
  if (!failed) return;
  // Contacts raised instead of answering: report an access error from another thread, as
  // Contacts would have.
  dispatch_async(dispatch_get_global_queue(QOS_CLASS_UTILITY, 0), ^{
    @autoreleasepool {
      (void)caught([&] { completion(raisedStatus(failed)); });
    }
  });
}

Status AppleContactStore::containers(std::vector<ContainerInfo>* out) {
  @autoreleasepool {
    Status status;
    std::exception_ptr raised = caught([&] { status = impl_->containers(out); });
    if (raised) return raisedStatus(raised);
    return status;
  }
}

Status AppleContactStore::enumerateContacts(const std::string& containerId,
                                            const ContactVisitor& visitor) {
  std::exception_ptr raised;
  std::exception_ptr thrown;
  Status status;
  @autoreleasepool {
    // The enumeration is synchronous: the block may refer to state on this stack.
    CNContactStore* store = impl_->store;
    Enumeration<ContactVisitor> state(visitor);
    Enumeration<ContactVisitor>* enumeration = &state;
    std::exception_ptr failed = caught([&] {
      status = impl_->findContainer(containerId);
      if (!status.ok()) return;
      NSError* error = nil;
      BOOL finished = [store
          enumerateContactsWithFetchRequest:fetchRequest(containerId)
                                      error:&error
                                 usingBlock:^(CNContact* contact, BOOL* stop) {
                                   enumeration->visit([&] { return contactRecord(contact); });
                                   if (enumeration->stopped) *stop = YES;
                                 }];
      // An enumeration ended through the stop flag is a success even if it reports NO, as
      // long as no error came with it.
      if (finished || (state.stopped && error == nil)) return;
      status = error != nil
                   ? statusOfError(error)
                   : Status::unavailable("The contact store could not enumerate contacts.");
    });
    raised = state.raised ? state.raised : failed;
    thrown = state.thrown;
  }
  // What the visitor threw goes on to the stores.
  if (thrown) std::rethrow_exception(thrown);
  if (raised) return raisedStatus(raised);
  return status;
}

Status AppleContactStore::observeChanges(std::function<void()> onChange, ObserverToken* token) {
  std::exception_ptr raised = caught([&] {
    *token = observeNotification(CNContactStoreDidChangeNotification, nil, std::move(onChange));
  });
  if (raised) return raisedStatus(raised);
  return Status();
}

}  // namespace pemrix::platform
