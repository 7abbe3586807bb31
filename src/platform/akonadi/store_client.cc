// StoreClient: collection listing, item fetches and the change monitor over Akonadi.
#include "platform/akonadi/store_client.h"

#include <algorithm>

#include <Akonadi/CollectionFetchJob>
#include <Akonadi/CollectionFetchScope>
#include <Akonadi/ItemFetchJob>
#include <Akonadi/ItemFetchScope>
#include <Akonadi/Monitor>
#include <Akonadi/ServerManager>
#include <Akonadi/Session>
#include <KContacts/Addressee>

#include "platform/akonadi/jobs.h"
#include "platform/akonadi/qt_thread.h"
#include "platform/status.h"

namespace pemrix::platform::akonadi {

namespace {

const char* const kEventType = "application/x-vnd.akonadi.calendar.event";
const char* const kTodoType = "application/x-vnd.akonadi.calendar.todo";
const char* const kContactType = "text/directory";

bool isCalendarType(const QString& type) {
  return type == QLatin1String(kEventType) || type == QLatin1String(kTodoType);
}

// Which stores a change of items of `type` concerns: both when the type is not known.
void concernsOf(const QString& type, bool& calendars, bool& contacts) {
  calendars = type.isEmpty() || isCalendarType(type);
  contacts = type.isEmpty() || type == QLatin1String(kContactType);
}

// The collection id `text` names; -1 when it names none.
Akonadi::Collection::Id idOf(const std::string& text) {
  if (text.empty() || text.size() > 18 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return -1;
  }
  return std::stoll(text);
}

ContactRecord recordOf(const KContacts::Addressee& contact) {
  return ContactRecord{contact.uid().toStdString(), contact.givenName().toStdString(),
                       contact.familyName().toStdString(), contact.organization().toStdString(),
                       contact.title().toStdString()};
}

}  // namespace

const char* mimeTypeOf(Content content) {
  switch (content) {
    case Content::events:
      return kEventType;
    case Content::todos:
      return kTodoType;
    case Content::contacts:
      break;
  }
  return kContactType;
}

StoreClient::StoreClient() = default;

StoreClient::~StoreClient() {
  delete monitor_;
  delete session_;
}

void StoreClient::connect() {
  requireRunningServer();
  watchChanges();
}

void StoreClient::watchChanges() {
  if (!watchingServer_) {
    watchingServer_ = true;
    QObject::connect(Akonadi::ServerManager::self(), &Akonadi::ServerManager::stateChanged,
                     &context_, [this](Akonadi::ServerManager::State state) {
                       if (state == Akonadi::ServerManager::Running) watchChanges();
                       changed(true, true);
                     });
  }
  // A session made while the server does not run would start it.
  if (monitor_ != nullptr || !Akonadi::ServerManager::isRunning()) return;
  session_ = new Akonadi::Session("pemrix-bridge");
  QtThread::instance().endBeforeExitHandlers();
  monitor_ = new Akonadi::Monitor();
  monitor_->setSession(session_);
  for (Content content : {Content::events, Content::todos, Content::contacts}) {
    monitor_->setMimeTypeMonitored(QString::fromLatin1(mimeTypeOf(content)));
  }
  monitor_->itemFetchScope().fetchFullPayload(false);
  monitor_->itemFetchScope().setAncestorRetrieval(Akonadi::ItemFetchScope::None);
  auto byItem = [this](const Akonadi::Item& item) {
    bool calendars = false, contacts = false;
    concernsOf(item.mimeType(), calendars, contacts);
    changed(calendars, contacts);
  };
  auto byCollection = [this](const Akonadi::Collection& collection) {
    const QStringList types = collection.contentMimeTypes();
    const bool contacts = types.isEmpty() || types.contains(QLatin1String(kContactType));
    const bool calendars =
        types.isEmpty() || std::any_of(types.begin(), types.end(), isCalendarType);
    changed(calendars, contacts);
  };
  using Akonadi::Monitor;
  QObject::connect(
      monitor_, &Monitor::itemAdded, session_,
      [byItem](const Akonadi::Item& item, const Akonadi::Collection&) { byItem(item); });
  QObject::connect(
      monitor_, qOverload<const Akonadi::Item&, const QSet<QByteArray>&>(&Monitor::itemChanged),
      session_, [byItem](const Akonadi::Item& item, const QSet<QByteArray>&) { byItem(item); });
  QObject::connect(monitor_, &Monitor::itemRemoved, session_, byItem);
  QObject::connect(monitor_, &Monitor::itemMoved, session_,
                   [byItem](const Akonadi::Item& item, const Akonadi::Collection&,
                            const Akonadi::Collection&) { byItem(item); });
  QObject::connect(monitor_, &Monitor::collectionAdded, session_,
                   [byCollection](const Akonadi::Collection& collection,
                                  const Akonadi::Collection&) { byCollection(collection); });
  QObject::connect(monitor_, qOverload<const Akonadi::Collection&>(&Monitor::collectionChanged),
                   session_, byCollection);
  QObject::connect(monitor_, &Monitor::collectionRemoved, session_, byCollection);
}

void StoreClient::changed(bool calendars, bool contacts) {
  if (contacts) contacts_.clear();
  if (calendars) calendarChanges_.notify();
  if (contacts) contactChanges_.notify();
}

std::vector<Akonadi::Collection> StoreClient::collections(Content content) {
  connect();
  JobPtr<Akonadi::CollectionFetchJob> job(new Akonadi::CollectionFetchJob(
      Akonadi::Collection::root(), Akonadi::CollectionFetchJob::Recursive, session_));
  const QString type = QString::fromLatin1(mimeTypeOf(content));
  job->fetchScope().setContentMimeTypes({type});
  job->fetchScope().setListFilter(Akonadi::CollectionFetchScope::NoFilter);
  job->fetchScope().setIncludeStatistics(false);
  finish(job.get());
  static bool listed = false;  // Qt thread only
  if (!listed) QtThread::instance().endBeforeExitHandlers();
  listed = true;
  std::vector<Akonadi::Collection> found;
  for (const Akonadi::Collection& collection : job->collections()) {
    if (collection.isVirtual() || !collection.contentMimeTypes().contains(type)) continue;
    found.push_back(collection);
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const Akonadi::Collection& a, const Akonadi::Collection& b) {
                     const int order = a.displayName().compare(b.displayName());
                     return order != 0 ? order < 0 : a.id() < b.id();
                   });
  return found;
}

Akonadi::Collection::Id StoreClient::existing(const std::string& id, Content content) {
  const Akonadi::Collection::Id wanted = idOf(id);
  std::vector<Akonadi::Collection> listed = collections(content);
  if (std::none_of(listed.begin(), listed.end(),
                   [&](const Akonadi::Collection& c) { return c.id() == wanted; })) {
    throw Status::gone("the collection is gone");
  }
  return wanted;
}

Akonadi::Item::List StoreClient::items(const std::string& id, Content content) {
  return fetchItems(existing(id, content));
}

Akonadi::Item::List StoreClient::fetchItems(Akonadi::Collection::Id wanted) {
  JobPtr<Akonadi::ItemFetchJob> job(
      new Akonadi::ItemFetchJob(Akonadi::Collection(wanted), session_));
  job->fetchScope().fetchFullPayload();
  job->fetchScope().setAncestorRetrieval(Akonadi::ItemFetchScope::None);
  finish(job.get());
  return job->items();
}

const std::vector<ContactRecord>& StoreClient::contacts(const std::string& id) {
  (void)existing(id, Content::contacts);
  auto kept = contacts_.find(id);
  if (kept != contacts_.end()) return kept->second;
  Akonadi::Item::List found = fetchItems(idOf(id));
  std::vector<ContactRecord> records;
  records.reserve(static_cast<std::size_t>(found.size()));
  for (const Akonadi::Item& item : found) {
    if (item.hasPayload<KContacts::Addressee>()) {
      records.push_back(recordOf(item.payload<KContacts::Addressee>()));
    }
  }
  return contacts_.emplace(id, std::move(records)).first->second;
}

ObserverToken StoreClient::observe(bool contacts, std::function<void()> onChange) {
  ObserverToken token = (contacts ? contactChanges_ : calendarChanges_).add(std::move(onChange));
  watchChanges();
  return token;
}

}  // namespace pemrix::platform::akonadi
