// PersonalStores: the serial queue, the permission gate of every store request, access
// requests, and the lazily created stores with their change observers.
#include "stores/personal_stores.h"

#include <atomic>

#include "platform/os_version.h"
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
  Json permissions = Json::object();
  for (NativeEntity entity : kAllEntities) {
    permissions[std::string(rawValue(entity))] = wireName(permission(entity));
  }
  return Json{{"permissions", std::move(permissions)}};
}

void PersonalStores::setOnChange(std::function<void(NativeEntity)> onChange) {
  relay_->onChange = std::move(onChange);
}

void PersonalStores::perform(const StoreRequest& request, Lifetime lifetime,
                             StoreCompletion completion) {
  queue_.async([this, request, lifetime = std::move(lifetime), completion = std::move(completion)] {
    work(request, lifetime, completion);
  });
}

void PersonalStores::work(const StoreRequest& request, const Lifetime& lifetime,
                          const StoreCompletion& completion) {
  if (!lifetime->isActive()) return;
  // An exception (a service error that the adapter raised, std::bad_alloc) is answered once,
  // unless an answer went out already: as an access request macOS could not make for
  // "request-permission", as an unreadable source for the listing and the queries.
  auto answered = std::make_shared<std::atomic<bool>>(false);
  StoreCompletion once = [answered, completion](StoreResult result) {
    if (!answered->exchange(true)) completion(std::move(result));
  };
  const NativeEntity entity = entityOf(request);
  const bool asking = std::holds_alternative<PermissionRequest>(request);
  try {
    if (asking) {
      const PermissionState state = permission(entity);
      if (state == PermissionState::notDetermined ||
          (entity == NativeEntity::events && state == PermissionState::writeOnly)) {
        askForAccess(entity, lifetime, once);
      } else {
        once(Json{{"permission", wireName(state)}});
      }
      return;
    }
    if (!readable(entity)) {
      once(BridgeFailure::permissionRequired());
      return;
    }
    std::optional<BridgeFailure> failed;
    if (std::holds_alternative<SourceListRequest>(request)) {
      failed = listSources(entity, lifetime, once);
    } else if (const auto* contacts = std::get_if<ContactsQuery>(&request)) {
      failed = queryContacts(*contacts, lifetime, once);
    } else if (const auto* events = std::get_if<EventsQuery>(&request)) {
      failed = queryCalendar(*events, entity, lifetime, once);
    } else {
      failed = queryCalendar(std::get<RemindersQuery>(request), entity, lifetime, once);
    }
    if (failed) once(*failed);
  } catch (...) {
    if (!lifetime->isActive()) return;
    once(asking ? BridgeFailure::permissionUnavailable() : BridgeFailure::sourceUnavailable());
  }
}

void PersonalStores::askForAccess(NativeEntity entity, const Lifetime& lifetime,
                                  StoreCompletion completion) {
  // The system answers on a thread of its own; only the lifetime, the entity and the
  // completion travel there.
  platform::AccessCompletion answered =
      [&system = system_, lifetime, entity, completion = std::move(completion)](
          bool /*granted*/, std::optional<platform::PlatformError> error) {
        if (!lifetime->isActive()) return;
        const PermissionState state = permissionState(system, entity);
        if (error && state == PermissionState::notDetermined) {
          completion(BridgeFailure::permissionUnavailable());
        } else {
          completion(Json{{"permission", wireName(state)}});
        }
      };
  if (entity == NativeEntity::contacts) {
    contactStore().requestAccess(std::move(answered));
  } else if (!platform::usesFullAccessRequests(platform::runningOsVersion())) {
    eventStore().requestAccess(calendarEntityType(entity), std::move(answered));
  } else if (entity == NativeEntity::events) {
    eventStore().requestFullAccessToEvents(std::move(answered));
  } else {
    eventStore().requestFullAccessToReminders(std::move(answered));
  }
}

platform::CalendarStore& PersonalStores::eventStore() {
  if (!events_) {
    events_ = std::make_unique<platform::CalendarStore>(system_);
    observers_.push_back(events_->observeChanges([relay = std::weak_ptr<ChangeRelay>(relay_)] {
      if (auto held = relay.lock()) {
        held->onChange(NativeEntity::events);
        held->onChange(NativeEntity::reminders);
      }
    }));
  }
  return *events_;
}

platform::ContactStore& PersonalStores::contactStore() {
  if (!contacts_) {
    contacts_ = std::make_unique<platform::ContactStore>(system_);
    observers_.push_back(contacts_->observeChanges([relay = std::weak_ptr<ChangeRelay>(relay_)] {
      if (auto held = relay.lock()) held->onChange(NativeEntity::contacts);
    }));
  }
  return *contacts_;
}

}  // namespace pemrix
