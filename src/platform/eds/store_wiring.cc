// StoreWiring: clients by source, connecting again after failures, change observation and
// the access request of the EDS stores.
#include "platform/eds/store_wiring.h"

#include "platform/eds/glib_thread.h"

namespace pemrix::platform::eds {

StoreWiring::StoreWiring(EdsSystem& system, EdsService service)
    : system_(system.impl()), service_(service) {}

EClient* StoreWiring::client(ClientSet& clients, const std::string& uid) {
  ESource* source = e_source_registry_ref_source(system_.registry(), uid.c_str());
  if (source == nullptr) throw Status::gone("the source is gone");
  EClient* client = nullptr;
  try {
    client = clients.client(source);
  } catch (...) {
    g_object_unref(source);
    system_.dropRegistry();
    throw;
  }
  g_object_unref(source);
  return client;
}

void StoreWiring::failed(ClientSet& clients, const std::string& uid) {
  clients.forget(uid);
  system_.dropRegistry();
}

ObserverToken StoreWiring::observe(std::function<void()> onChange) {
  if (!sourceWatch_) {
    sourceWatch_ = system_.watchSources(service_, [changes = changes_] { changes->notify(); });
  }
  return changes_->add(std::move(onChange));
}

void StoreWiring::endAccessRequest(AccessCompletion completion) {
  GlibThread::instance().post([completion = std::move(completion)] { completion(Status()); });
}

}  // namespace pemrix::platform::eds
