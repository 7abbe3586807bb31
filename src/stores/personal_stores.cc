// PersonalStores: the serial queue, the permission gate of every store request, access
// requests, and the lazily created stores with their change observers.
#include "stores/personal_stores.h"

#include "protocol/result_encoding.h"
#include "stores/permissions.h"

namespace pemrix {

// Holds the change callback for the observers, which may report after the stores are gone.
struct PersonalStores::ChangeRelay {
  std::function<void(NativeEntity)> onChange = [](NativeEntity) {};
};

PersonalStores::PersonalStores(platform::System& system)
    : system_(system),
      relay_(std::make_shared<ChangeRelay>()),
      queue_("app.pemrix.bridge.stores") {}

PersonalStores::~PersonalStores() = default;

PermissionState PersonalStores::permission(NativeEntity entity) const {
  return permissionState(system_, entity);
}

bool PersonalStores::readable(NativeEntity entity) const {
  return isReadable(system_, entity);
}

Json PersonalStores::status() const {
  std::vector<std::pair<NativeEntity, PermissionState>> states;
  for (NativeEntity entity : kAllEntities) states.emplace_back(entity, permission(entity));
  return encodePermissions(states);
}

void PersonalStores::setOnChange(std::function<void(NativeEntity)> onChange) {
  relay_->onChange = std::move(onChange);
}

void PersonalStores::perform(const StoreRequest& request, Lifetime lifetime,
                             StoreCompletion completion) {
  // An exception (std::bad_alloc) or a path that ends without answering is answered as an access
  // request macOS could not make for "request-permission", as an unreadable source for the listing
  // and the queries.
  const BridgeFailure unanswered = std::holds_alternative<PermissionRequest>(request)
                                       ? BridgeFailure::permissionUnavailable()
                                       : BridgeFailure::sourceUnavailable();
  StoreReply reply(lifetime, std::move(completion), unanswered);
  queue_.async(
      [this, request, lifetime = std::move(lifetime), reply = std::move(reply), unanswered] {
        try {
          work(request, lifetime, reply);
        } catch (...) {
          reply(unanswered);
        }
      });
}

void PersonalStores::work(const StoreRequest& request, const Lifetime& lifetime,
                          const StoreReply& reply) {
  if (!lifetime->isActive()) return;
  const NativeEntity entity = entityOf(request);
  if (std::holds_alternative<PermissionRequest>(request)) {
    const PermissionState state = permission(entity);
    if (state == PermissionState::notDetermined ||
        (entity == NativeEntity::events && state == PermissionState::writeOnly)) {
      askForAccess(entity, lifetime, reply);
    } else {
      reply(encodePermission(state));
    }
  } else if (!readable(entity)) {
    reply(BridgeFailure::permissionRequired());
  } else if (std::holds_alternative<SourceListRequest>(request)) {
    listSources(entity, lifetime, reply);
  } else if (const auto* contacts = std::get_if<ContactsQuery>(&request)) {
    queryContacts(*contacts, lifetime, reply);
  } else if (const auto* events = std::get_if<EventsQuery>(&request)) {
    queryCalendar(*events, entity, lifetime, reply);
  } else {
    queryCalendar(std::get<RemindersQuery>(request), entity, lifetime, reply);
  }
}

void PersonalStores::askForAccess(NativeEntity entity, const Lifetime& lifetime,
                                  const StoreReply& reply) {
  // The system answers on a thread of its own; only the lifetime, the entity and the reply
  // travel there.
  platform::AccessCompletion answered = [&system = system_, lifetime, entity,
                                         reply](platform::Status status) {
    if (!lifetime->isActive()) return;
    const PermissionState state = permissionState(system, entity);
    if (!status.ok() && state == PermissionState::notDetermined) {
      reply(BridgeFailure::permissionUnavailable());
    } else {
      reply(encodePermission(state));
    }
  };
  if (entity == NativeEntity::contacts) {
    platform::ContactStore* store = contactStore();
    if (store == nullptr) {
      reply(BridgeFailure::permissionUnavailable());
      return;
    }
    store->requestAccess(std::move(answered));
  } else {
    platform::CalendarStore* store = eventStore();
    if (store == nullptr) {
      reply(BridgeFailure::permissionUnavailable());
      return;
    }
    store->requestAccess(calendarEntityType(entity), std::move(answered));
  }
}

platform::CalendarStore* PersonalStores::eventStore() {
  if (events_) return events_.get();
  std::unique_ptr<platform::CalendarStore> store;
  platform::ObserverToken token;
  if (!system_.openCalendarStore(&store).ok()) return nullptr;
  auto onChange = [relay = std::weak_ptr<ChangeRelay>(relay_)] {
    if (auto held = relay.lock()) {
      held->onChange(NativeEntity::events);
      held->onChange(NativeEntity::reminders);
    }
  };
  if (!store->observeChanges(std::move(onChange), &token).ok()) return nullptr;
  observers_.push_back(std::move(token));
  events_ = std::move(store);
  return events_.get();
}

platform::ContactStore* PersonalStores::contactStore() {
  if (contacts_) return contacts_.get();
  std::unique_ptr<platform::ContactStore> store;
  platform::ObserverToken token;
  if (!system_.openContactStore(&store).ok()) return nullptr;
  auto onChange = [relay = std::weak_ptr<ChangeRelay>(relay_)] {
    if (auto held = relay.lock()) held->onChange(NativeEntity::contacts);
  };
  if (!store->observeChanges(std::move(onChange), &token).ok()) return nullptr;
  observers_.push_back(std::move(token));
  contacts_ = std::move(store);
  return contacts_.get();
}

}  // namespace pemrix
