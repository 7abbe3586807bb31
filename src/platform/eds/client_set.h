// ClientSet: the EDS clients a store has connected, one per source, kept for the life of
// the store. Each client is watched for changes made by other processes: its source's
// revision (through RevisionFilter, so a client merely opening the source is no change)
// and, unless the revision alone reports every change, a view over all its objects
// (reports additions, changes and removals). A client whose
// backend died, or that failed a call, is connected again on its next use.
//
// Thread safety: GLib thread only (construction, use and destruction).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include <libedataserver/libedataserver.h>

#include "platform/eds/revision_filter.h"
#include "platform/observer_registry.h"

namespace pemrix::platform::eds {

class ClientSet {
 public:
  // Connects a client to a source; null with `error` set on failure.
  using Connect = std::function<EClient*(ESource* source, GError** error)>;
  // Opens and starts a view over all of the client's objects that sends no initial
  // notifications; null with `error` set on failure, null without an error for a client
  // whose revision reports every change.
  using OpenView = std::function<GObject*(EClient* client, GError** error)>;

  ClientSet(Connect connect, OpenView openView, std::shared_ptr<ObserverRegistry> changes);
  ~ClientSet();
  ClientSet(const ClientSet&) = delete;
  ClientSet& operator=(const ClientSet&) = delete;

  // The client of `source`, connected and watched; throws the failed Status when it
  // cannot be.
  EClient* client(ESource* source);
  // Drops the client of `uid` (after a failed call), so that the next use connects again.
  void forget(const std::string& uid);

 private:
  struct Entry;
  static void onObjects(GObject*, gpointer, gpointer self);
  static void onProperty(EClient* client, const gchar* name, const gchar* value, gpointer self);
  static void onDied(EClient* client, gpointer self);
  void release(Entry& entry);
  // True when `revision` is a change of the source `uid`.
  bool noteRevision(const std::string& uid, const gchar* revision);

  Connect connect_;
  OpenView openView_;
  std::shared_ptr<ObserverRegistry> changes_;
  RevisionFilter revisions_;
  std::map<std::string, std::unique_ptr<Entry>> entries_;
};

}  // namespace pemrix::platform::eds
