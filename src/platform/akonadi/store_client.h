// StoreClient: the bridge's one client of Akonadi, shared by the calendar and contact
// stores. It lists the collections of each kind of content, fetches a collection's items
// with their payloads, keeps the parsed contacts of each address book until a change
// drops them, and reports changes from a monitor over the three content types. It never
// starts Akonadi: every read fails as unavailable while the server does not run (see
// jobs.h), and the monitor is made only once the server runs.
//
// Thread safety: Qt thread only, except the release of an `observe` token (any thread).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <Akonadi/Collection>
#include <Akonadi/Item>
#include <QObject>

#include "platform/contact_store.h"
#include "platform/observer_registry.h"
#include "platform/observer_token.h"

namespace Akonadi {
class Monitor;
class Session;
}  // namespace Akonadi

namespace pemrix::platform::akonadi {

// What a collection holds, by the content MIME type that marks it.
enum class Content { events, todos, contacts };

class StoreClient {
 public:
  StoreClient();
  ~StoreClient();
  StoreClient(const StoreClient&) = delete;
  StoreClient& operator=(const StoreClient&) = delete;

  // The collections that hold `content`, by display name (then by id). Throws an
  // unavailable Status when Akonadi cannot be read.
  std::vector<Akonadi::Collection> collections(Content content);

  // The items of the collection `id` (a collection of `content`) with full payloads, in
  // the store's order. Throws a gone Status when there is no such collection.
  Akonadi::Item::List items(const std::string& id, Content content);

  // The contacts of the address book `id`, read once and kept until a change of any
  // contact or address book.
  const std::vector<ContactRecord>& contacts(const std::string& id);

  // Calls `onChange` whenever Akonadi reports a change of events and to-dos (`contacts`
  // false) or of contacts, or the server starts or stops, until the token is released.
  ObserverToken observe(bool contacts, std::function<void()> onChange);

 private:
  // Makes the session (and, once the server runs, the monitor) on first use.
  void connect();
  void watchChanges();
  void changed(bool calendars, bool contacts);
  // The id of the collection of `content` that `id` names; throws a gone Status when the
  // store lists none.
  Akonadi::Collection::Id existing(const std::string& id, Content content);
  Akonadi::Item::List fetchItems(Akonadi::Collection::Id id);

  QObject context_;  // ends the server-state connection with the client

  Akonadi::Session* session_ = nullptr;
  Akonadi::Monitor* monitor_ = nullptr;
  std::map<std::string, std::vector<ContactRecord>> contacts_;
  ObserverRegistry calendarChanges_;
  ObserverRegistry contactChanges_;
  bool watchingServer_ = false;
};

// The content MIME type of `content`.
const char* mimeTypeOf(Content content);

}  // namespace pemrix::platform::akonadi
