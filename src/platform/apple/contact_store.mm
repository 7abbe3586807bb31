// The contact store on macOS: the Contacts framework's CNContactStore, translated to the
// plain records of the contact store interface. Only translation happens here; every rule of
// the bridge (search, limits, scan cap, permission states) lives in the portable stores.
//
// Only the properties named by the request's keys are read from a contact: Contacts raises
// an exception for a property that was not fetched. As with the calendar store, a store keeps
// the view of contacts it had when access was last different: after access changes (through
// the bridge's own request, or in System Settings, say from denied to full) the store is
// replaced by a fresh one. The check runs at the start of each use, in `containers`. Right
// after the first grant a fresh store can still list nothing, or fail: with access given,
// that is replaced once more and read again.
//
// Failures: an Objective-C exception raised by a Contacts call becomes the call's
// PlatformError; the enumeration block catches whatever the visitor throws, stops, and it is
// rethrown once Contacts has returned.
#include "platform/contact_store.h"

#import <Contacts/Contacts.h>
#import <Foundation/Foundation.h>
#import <dispatch/dispatch.h>

#include <algorithm>
#include <exception>

#include "platform/apple/apple_authorization.h"
#include "platform/apple/grant_settling.h"
#include "platform/apple/objc_values.h"

namespace pemrix::platform {

namespace {

NSString* keyName(ContactKey key) {
  switch (key) {
    case ContactKey::identifier:
      return CNContactIdentifierKey;
    case ContactKey::givenName:
      return CNContactGivenNameKey;
    case ContactKey::familyName:
      return CNContactFamilyNameKey;
    case ContactKey::organizationName:
      return CNContactOrganizationNameKey;
    case ContactKey::jobTitle:
      return CNContactJobTitleKey;
  }
  return CNContactIdentifierKey;
}

CNContactFetchRequest* fetchRequest(const ContactFetchRequest& request) {
  NSMutableArray<id<CNKeyDescriptor>>* keys =
      [NSMutableArray arrayWithCapacity:request.keysToFetch.size()];
  for (ContactKey key : request.keysToFetch) [keys addObject:keyName(key)];
  CNContactFetchRequest* fetch = [[CNContactFetchRequest alloc] initWithKeysToFetch:keys];
  fetch.predicate = [CNContact
      predicateForContactsInContainerWithIdentifier:nsString(request.containerIdentifier)];
  fetch.unifyResults = request.unifyResults ? YES : NO;
  fetch.mutableObjects = request.mutableObjects ? YES : NO;
  return fetch;
}

// The contact's properties that `request` fetched; the others stay empty.
ContactRecord contactRecord(CNContact* contact, const ContactFetchRequest& request) {
  const auto& keys = request.keysToFetch;
  auto fetched = [&keys](ContactKey key) {
    return std::find(keys.begin(), keys.end(), key) != keys.end();
  };
  ContactRecord record;
  if (fetched(ContactKey::identifier)) record.identifier = utf8(contact.identifier);
  if (fetched(ContactKey::givenName)) record.givenName = utf8(contact.givenName);
  if (fetched(ContactKey::familyName)) record.familyName = utf8(contact.familyName);
  if (fetched(ContactKey::organizationName)) {
    record.organizationName = utf8(contact.organizationName);
  }
  if (fetched(ContactKey::jobTitle)) record.jobTitle = utf8(contact.jobTitle);
  return record;
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

struct ContactStore::Impl {
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
  PlatformStatus containers(std::vector<ContainerInfo>* out) {
    refresh();
    NSError* error = nil;
    NSArray<CNContainer*>* found = list(&error);
    if ((found == nil || found.count == 0) && readableStatus(served)) {
      store = [[CNContactStore alloc] init];
      error = nil;
      found = list(&error);
    }
    if (found == nil) {
      return platformError(error).value_or(
          PlatformError{"The contact store listed no containers."});
    }
    for (CNContainer* container in found) {
      out->push_back(ContainerInfo{utf8(container.identifier), utf8(container.name)});
    }
    return std::nullopt;
  }

  CNContactStore* store = [[CNContactStore alloc] init];
  // The status when the store last served contacts; "not determined" until then.
  CNAuthorizationStatus served = CNAuthorizationStatusNotDetermined;
};

Authorization ContactStore::authorization(System& /*system*/) {
  return authorizationFromContacts(contactsStatus());
}

ContactStore::ContactStore(System& /*system*/)
    : impl_(raisingAsCxx([] { return std::make_unique<Impl>(); })) {}

ContactStore::~ContactStore() = default;

void ContactStore::requestAccess(AccessCompletion completion) {
  // A grant whose status still reads "not determined" is given time to settle
  // (grant_settling.h).
  auto handler = ^(BOOL granted, NSError* _Nullable error) {
    @autoreleasepool {
      if (granted) {
        waitForGrantToSettle([] { return contactsStatus() != CNAuthorizationStatusNotDetermined; });
      }
      (void)caught([&] { completion(platformError(error)); });
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
      (void)caught([&] { completion(raisedError(failed)); });
    }
  });
}

PlatformStatus ContactStore::containers(std::vector<ContainerInfo>* out) {
  @autoreleasepool {
    PlatformStatus status;
    std::exception_ptr raised = caught([&] { status = impl_->containers(out); });
    if (raised) return raisedError(raised);
    return status;
  }
}

PlatformStatus ContactStore::enumerateContacts(const ContactFetchRequest& request,
                                               const ContactVisitor& visitor) {
  std::exception_ptr thrown;
  PlatformStatus status;
  @autoreleasepool {
    // The enumeration is synchronous: the block may refer to state on this stack.
    const ContactFetchRequest* asked = &request;
    CNContactStore* store = impl_->store;
    Enumeration<ContactVisitor> state(visitor);
    Enumeration<ContactVisitor>* enumeration = &state;
    std::exception_ptr raised = caught([&] {
      NSError* error = nil;
      BOOL finished = [store enumerateContactsWithFetchRequest:fetchRequest(request)
                                                         error:&error
                                                    usingBlock:^(CNContact* contact, BOOL* stop) {
                                                      enumeration->visit([&] {
                                                        return contactRecord(contact, *asked);
                                                      });
                                                      if (enumeration->stopped) *stop = YES;
                                                    }];
      // An enumeration ended through the stop flag is a success even if it reports NO, as
      // long as no error came with it.
      if (finished || (state.stopped && error == nil)) return;
      std::optional<PlatformError> reported = platformError(error);
      status =
          reported ? reported : PlatformError{"The contact store could not enumerate contacts."};
    });
    thrown = state.thrown;
    if (!thrown && raised) status = raisedError(raised);
  }
  // What the visitor threw (or Contacts raised inside the block) goes on to the stores.
  if (thrown) std::rethrow_exception(thrown);
  return status;
}

ObserverToken ContactStore::observeChanges(std::function<void()> onChange) {
  return raisingAsCxx([&] {
    return observeNotification(CNContactStoreDidChangeNotification, nil, std::move(onChange));
  });
}

}  // namespace pemrix::platform
