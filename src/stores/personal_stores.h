// PersonalStores: the one owner of the calendar and contact stores. It reports permission
// states, asks the system for access, and runs every store request (access, listing,
// queries) on its own serial queue behind the permission gate, answering through a
// completion. It creates each store on first use and forwards the stores' change
// notifications to `onChange`.
//
// Thread safety: construct, `setOnChange` and `perform` on the main queue; `permission`,
// `readable` and `status` on any thread. Store handles are touched only on the serial
// queue. Completions are called at most once, through a `StoreReply`, on the serial queue or
// on a platform thread (access requests); they are never called for a request whose
// lifetime is no longer active when the work would answer.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/calendar_store.h"
#include "platform/contact_store.h"
#include "platform/serial_queue.h"
#include "platform/system.h"
#include "protocol/bridge_failure.h"
#include "protocol/native_request.h"
#include "protocol/permission_state.h"
#include "protocol/wire_json.h"
#include "stores/request_lifetime.h"
#include "stores/store_reply.h"

namespace pemrix {

class PersonalStores {
 public:
  explicit PersonalStores(platform::System& system);
  ~PersonalStores();
  PersonalStores(const PersonalStores&) = delete;
  PersonalStores& operator=(const PersonalStores&) = delete;

  // The entity's state, from the system's current authorisation status.
  PermissionState permission(NativeEntity entity) const;
  // Whether the entity can be read now (platform::allowsReading).
  bool readable(NativeEntity entity) const;
  // {"permissions": {"events": ..., "reminders": ..., "contacts": ...}}. Creates no store.
  Json status() const;

  // Called with "events" and "reminders" for each calendar-store change and with
  // "contacts" for each contact-store change, on the thread that reports it. Set once,
  // before the first request.
  void setOnChange(std::function<void(NativeEntity)> onChange);

  // Runs a "request-permission", "list-sources" or "query" request on the serial queue and
  // returns at once.
  void perform(const StoreRequest& request, Lifetime lifetime, StoreCompletion completion);

 private:
  struct ChangeRelay;

  // Each of these ends in one call of `reply`, made here or (access requests) later on a
  // platform thread, or returns silently once `lifetime` is over.
  void work(const StoreRequest& request, const Lifetime& lifetime, const StoreReply& reply);
  void askForAccess(NativeEntity entity, const Lifetime& lifetime, const StoreReply& reply);
  void listSources(NativeEntity entity, const Lifetime& lifetime, const StoreReply& reply);
  // Events and reminders share the resolution of the requested calendars; `entity` says
  // which of the two the query reads.
  void queryCalendar(const CalendarQuery& request, NativeEntity entity, const Lifetime& lifetime,
                     const StoreReply& reply);
  void queryReminders(platform::CalendarStore& store, const CalendarQuery& request,
                      const std::vector<std::string>& listIds, const Lifetime& lifetime,
                      const StoreReply& reply);
  void queryContacts(const ContactsQuery& request, const Lifetime& lifetime,
                     const StoreReply& reply);

  // The store, made with its change observer at first use; null when it cannot be made
  // (the next use tries again).
  platform::CalendarStore* eventStore();
  platform::ContactStore* contactStore();

  platform::System& system_;
  std::unique_ptr<platform::CalendarStore> events_;
  std::unique_ptr<platform::ContactStore> contacts_;
  std::vector<platform::ObserverToken> observers_;
  std::shared_ptr<ChangeRelay> relay_;
  // Last, so that it is destroyed first: no work runs once the members above go away.
  platform::SerialQueue queue_;
};

}  // namespace pemrix
