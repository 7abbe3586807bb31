// EdsSystem::Impl: the EDS state the calendar and contact stores share: the session bus
// connection (held before any EDS object is made, see SessionBus), the source registry
// (made on first use, made again after a failure) and the watchers of its signals, which
// report sources of a kind appearing, going, or changing what they store.
//
// Thread safety: everything here runs on the GLib thread, except the removal of a
// `watchSources` token, which may run on any thread.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <libedataserver/libedataserver.h>

#include "platform/eds/bus_authorization.h"
#include "platform/eds/eds_system.h"
#include "platform/eds/session_bus.h"
#include "platform/observer_registry.h"
#include "platform/observer_token.h"

namespace pemrix::platform {

struct EdsSystem::Impl {
  ~Impl();

  // The registry; throws an unavailable Status when it cannot be reached. Every path to an EDS
  // object passes here first, so the session bus is held before EDS uses it.
  ESourceRegistry* registry();
  // Forgets the registry after an error, so that the next request connects again.
  void dropRegistry();

  // Calls `onChange` whenever a source of `service` is added, removed, enabled, disabled or
  // changed, until the token is released. Called on the GLib thread.
  ObserverToken watchSources(eds::EdsService service, std::function<void()> onChange);

 private:
  ObserverRegistry& watchersOf(eds::EdsService service) {
    return service == eds::EdsService::calendar ? calendarWatchers_ : addressBookWatchers_;
  }
  void sourceEvent(ESource* source, bool always);
  static void onSourceAdded(ESourceRegistry*, ESource* source, gpointer self);
  static void onSourceChanged(ESourceRegistry*, ESource* source, gpointer self);

  eds::SessionBus bus_;
  ESourceRegistry* registry_ = nullptr;
  // The stored text of each source last seen, so that a "changed" signal that changed
  // nothing stored (a client opening the source updates its connection state) is ignored.
  std::map<std::string, std::string> seen_;
  // Who watches the sources of each service (StoreWiring, one per store).
  ObserverRegistry calendarWatchers_;
  ObserverRegistry addressBookWatchers_;
};

}  // namespace pemrix::platform
