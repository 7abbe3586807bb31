// ClientSet: connecting clients, their views and revision watch, and their release.
#include "platform/eds/client_set.h"

#include "platform/eds/glib_error.h"

namespace pemrix::platform::eds {

namespace {

constexpr const char* kRevisionProperty = "revision";

}  // namespace

struct ClientSet::Entry {
  EClient* client = nullptr;
  GObject* view = nullptr;
  bool died = false;
};

ClientSet::ClientSet(Connect connect, OpenView openView, std::shared_ptr<ObserverRegistry> changes)
    : connect_(std::move(connect)), openView_(std::move(openView)), changes_(std::move(changes)) {}

ClientSet::~ClientSet() {
  for (auto& [uid, entry] : entries_) release(*entry);
}

EClient* ClientSet::client(ESource* source) {
  const std::string uid = e_source_get_uid(source);
  auto found = entries_.find(uid);
  if (found != entries_.end() && !found->second->died) return found->second->client;
  if (found != entries_.end()) forget(uid);

  GError* error = nullptr;
  auto entry = std::make_unique<Entry>();
  entry->client = connect_(source, &error);
  if (entry->client == nullptr) throw takeError(error, "cannot connect to the source");
  // The revision as the source is now: the baseline for later changes. A backend that
  // creates its storage on this first open moves its revision on while opening ("" then
  // "...(0)" then "...(1)"), and the client's copy of it may still lag behind when connect
  // returns: the backend's answer to a request for its properties comes after all it
  // announced while opening, so the copy has caught up by then.
  e_client_retrieve_properties_sync(entry->client, nullptr, nullptr);
  gchar* revision = nullptr;
  if (e_client_get_backend_property_sync(entry->client, kRevisionProperty, &revision, nullptr,
                                         nullptr)) {
    noteRevision(uid, revision);
  }
  g_free(revision);
  g_signal_connect(entry->client, "backend-property-changed", G_CALLBACK(onProperty), this);
  g_signal_connect(entry->client, "backend-died", G_CALLBACK(onDied), this);
  entry->view = openView_(entry->client, &error);
  if (error != nullptr) {
    release(*entry);
    throw takeError(error, "cannot watch the source");
  }
  if (entry->view != nullptr) {
    g_signal_connect(entry->view, "objects-added", G_CALLBACK(onObjects), this);
    g_signal_connect(entry->view, "objects-modified", G_CALLBACK(onObjects), this);
    g_signal_connect(entry->view, "objects-removed", G_CALLBACK(onObjects), this);
  }
  EClient* client = entry->client;
  entries_[uid] = std::move(entry);
  return client;
}

void ClientSet::forget(const std::string& uid) {
  auto found = entries_.find(uid);
  if (found == entries_.end()) return;
  release(*found->second);
  entries_.erase(found);
  revisions_.forget(uid);
}

void ClientSet::release(Entry& entry) {
  if (entry.view != nullptr) {
    g_signal_handlers_disconnect_by_data(entry.view, this);
    g_object_unref(entry.view);
    entry.view = nullptr;
  }
  if (entry.client != nullptr) {
    g_signal_handlers_disconnect_by_data(entry.client, this);
    g_object_unref(entry.client);
    entry.client = nullptr;
  }
}

void ClientSet::onObjects(GObject*, gpointer, gpointer self) {
  static_cast<ClientSet*>(self)->changes_->notify();
}

bool ClientSet::noteRevision(const std::string& uid, const gchar* revision) {
  // An empty revision is one the backend has not reported yet: neither a baseline nor a
  // change.
  if (revision == nullptr || *revision == '\0') return false;
  return revisions_.changed(uid, revision);
}

void ClientSet::onProperty(EClient* client, const gchar* name, const gchar* value, gpointer self) {
  if (g_strcmp0(name, kRevisionProperty) != 0) return;
  auto* set = static_cast<ClientSet*>(self);
  if (set->noteRevision(e_source_get_uid(e_client_get_source(client)), value)) {
    set->changes_->notify();
  }
}

void ClientSet::onDied(EClient* client, gpointer self) {
  auto* set = static_cast<ClientSet*>(self);
  auto found = set->entries_.find(e_source_get_uid(e_client_get_source(client)));
  if (found != set->entries_.end()) found->second->died = true;
}

}  // namespace pemrix::platform::eds
