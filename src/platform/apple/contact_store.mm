// The contact store on macOS: the Contacts framework's CNContactStore, translated to the
// plain records of the contact store interface. Only translation happens here; every rule of
// the bridge (search, limits, scan cap, permission states) lives in the portable stores.
//
// Only the properties named by the request's keys are read from a contact: Contacts raises
// an exception for a property that was not fetched. As with the calendar store, a store keeps
// the view of contacts it had when access was last different: after access changes (through
// the bridge's own request, or in System Settings, say from limited to full) the store is
// replaced by a fresh one. The check runs at the start of each use, in `containers`.
#include "platform/contact_store.h"

#import <Contacts/Contacts.h>
#import <Foundation/Foundation.h>

#include <algorithm>

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

  CNContactStore* store = [[CNContactStore alloc] init];
  // The status when the store last served contacts; "not determined" until then.
  CNAuthorizationStatus served = CNAuthorizationStatusNotDetermined;
};

int ContactStore::authorizationStatus(System& /*system*/) {
  return static_cast<int>([CNContactStore authorizationStatusForEntityType:CNEntityTypeContacts]);
}

ContactStore::ContactStore(System& /*system*/) : impl_(std::make_unique<Impl>()) {}

ContactStore::~ContactStore() = default;

void ContactStore::requestAccess(AccessCompletion completion) {
  [impl_->store requestAccessForEntityType:CNEntityTypeContacts
                         completionHandler:^(BOOL granted, NSError* _Nullable error) {
                           completion(granted, platformError(error));
                         }];
}

std::variant<std::vector<ContainerInfo>, PlatformError> ContactStore::containers() {
  @autoreleasepool {
    impl_->refresh();
    NSError* error = nil;
    NSArray<CNContainer*>* found = [impl_->store containersMatchingPredicate:nil error:&error];
    if (found == nil) {
      std::optional<PlatformError> reported = platformError(error);
      return reported ? *reported : PlatformError{"The contact store listed no containers."};
    }
    std::vector<ContainerInfo> containers;
    containers.reserve(found.count);
    for (CNContainer* container in found) {
      containers.push_back(ContainerInfo{utf8(container.identifier), utf8(container.name)});
    }
    return containers;
  }
}

PlatformStatus ContactStore::enumerateContacts(const ContactFetchRequest& request,
                                               const ContactVisitor& visitor) {
  @autoreleasepool {
    // The enumeration is synchronous: the block may refer to the caller's objects.
    const ContactFetchRequest* asked = &request;
    const ContactVisitor* visit = &visitor;
    __block bool stopped = false;
    NSError* error = nil;
    BOOL finished =
        [impl_->store enumerateContactsWithFetchRequest:fetchRequest(request)
                                                  error:&error
                                             usingBlock:^(CNContact* contact, BOOL* stop) {
                                               if (stopped) return;
                                               @autoreleasepool {
                                                 (*visit)(contactRecord(contact, *asked), stopped);
                                               }
                                               if (stopped) *stop = YES;
                                             }];
    // An enumeration ended through the stop flag is a success even if it reports NO, as
    // long as no error came with it.
    if (finished || (stopped && error == nil)) return std::nullopt;
    std::optional<PlatformError> reported = platformError(error);
    return reported ? reported : PlatformError{"The contact store could not enumerate contacts."};
  }
}

ObserverToken ContactStore::observeChanges(std::function<void()> onChange) {
  return observeNotification(CNContactStoreDidChangeNotification, nil, std::move(onChange));
}

}  // namespace pemrix::platform
