// StoreWiring: what the EDS calendar store and contact store share. Both reach their
// sources through the system's source registry, keep one connected and watched client per
// source (ClientSet), feed their change observers from the registry's source signals and
// from the clients' views, connect again after a failed call, and end an access request
// at once (Linux desktops have no prompt).
//
// Thread safety: GLib thread only, like the stores that own it; `endAccessRequest` from
// any thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <libedataserver/libedataserver.h>

#include "platform/calendar_store.h"
#include "platform/eds/bus_authorization.h"
#include "platform/eds/client_set.h"
#include "platform/eds/system_impl.h"
#include "platform/observer_registry.h"

namespace pemrix::platform::eds {

class StoreWiring {
 public:
  StoreWiring(EdsSystem& system, EdsService service);

  EdsSystem::Impl& system() { return system_; }
  const std::shared_ptr<ObserverRegistry>& changes() const { return changes_; }

  // The client of the source `uid` in `clients`, connected and watched. Throws a gone
  // Status when the registry no longer has the source, an unavailable one when it cannot
  // be reached.
  EClient* client(ClientSet& clients, const std::string& uid);

  // After a call on the client of `uid` failed, the next use connects again, to the
  // registry too: a service that died is started again only by a new connection.
  void failed(ClientSet& clients, const std::string& uid);

  // Calls `onChange` for every change of the store's sources or data until the token is
  // released; the registry is watched from the first observer on.
  ObserverToken observe(std::function<void()> onChange);

  // Ends an access request: the stores then report the current state.
  static void endAccessRequest(AccessCompletion completion);

 private:
  EdsSystem::Impl& system_;
  EdsService service_;
  std::shared_ptr<ObserverRegistry> changes_ = std::make_shared<ObserverRegistry>();
  std::optional<ObserverToken> sourceWatch_;
};

}  // namespace pemrix::platform::eds
