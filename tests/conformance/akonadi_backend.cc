// Akonadi as a conformance backend, inside the private store that tools/akonadi-session.sh
// starts (its world, session.json, sets the user's zone and makes no sources). The writer
// works as another program would: one file resource per source (akonadi_ical_resource for
// a calendar or reminder list, akonadi_vcard_resource for a contact container), created
// over D-Bus and fed iCalendar text (conformance/ical_text.h) or vCards through its file;
// another client's change is an Akonadi item created by a job. A calendar file resource
// offers events and to-dos alike, so each collection is narrowed to the kind of its source
// once the resource has read its file. The store's identifiers of sources are collection
// ids, mapped to the world's here; items and contacts keep the world's UIDs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include <Akonadi/CollectionFetchJob>
#include <Akonadi/CollectionFetchScope>
#include <Akonadi/CollectionModifyJob>
#include <Akonadi/ItemCreateJob>
#include <KCalendarCore/Event>
#include <KCalendarCore/Todo>
#include <KContacts/Addressee>
#include <QDBusConnection>
#include <QDBusMessage>
#include <nlohmann/json.hpp>

#include "conformance/ical_text.h"
#include "conformance/platform_calls.h"
#include "platform/akonadi/akonadi_system.h"
#include "platform/akonadi/jobs.h"
#include "platform/akonadi/qt_thread.h"
#include "platform/akonadi/store_client.h"

namespace pemrix::conformance {
namespace {

using namespace std::chrono_literals;

constexpr auto kWriteWait = 90s;  // a busy machine delays Akonadi by a minute

const char* const kControl = "org.freedesktop.Akonadi.Control";

// A method call on the session bus, made on the Qt thread; the reply's first argument.
QVariant callBus(const QString& destination, const QString& path, const QString& interface,
                 const QString& method, const QList<QVariant>& arguments = {}) {
  QVariant answer;
  platform::akonadi::QtThread::instance().run([&] {
    QDBusMessage call = QDBusMessage::createMethodCall(destination, path, interface, method);
    call.setArguments(arguments);
    QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 60000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
      ADD_FAILURE() << method.toStdString() << ": " << reply.errorMessage().toStdString();
    } else if (!reply.arguments().isEmpty()) {
      answer = reply.arguments().first();
    }
  });
  return answer;
}

bool busHas(const QString& name) {
  return callBus(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                 QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"), {name})
      .toBool();
}

template <typename Ready>
bool waitUntil(Ready ready) {
  for (auto giveUp = std::chrono::steady_clock::now() + kWriteWait;
       std::chrono::steady_clock::now() < giveUp; std::this_thread::sleep_for(50ms)) {
    if (ready()) return true;
  }
  return false;
}

// How many items each resource's collections hold, read from the store's database file
// (tools/akonadi-collections.py), which is safe while a resource syncs.
std::map<std::string, long> itemsByResource() {
  std::map<std::string, long> counts;
  const std::string command =
      std::string("python3 ") + PEMRIX_SOURCE_DIR + "/tools/akonadi-collections.py 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return counts;
  std::string text;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  if (pclose(pipe) != 0) return counts;
  for (const auto& collection : nlohmann::json::parse(text, nullptr, false)) {
    counts[collection.value("resource", "")] += collection.value("items", 0L);
  }
  return counts;
}

std::string vcardText(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == ';' || c == ',') out += '\\';
    out += c;
  }
  return out;
}

std::string vcardOf(const Contact& contact) {
  return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + contact.id +
         "\r\nN:" + vcardText(contact.familyName) + ";" + vcardText(contact.givenName) +
         ";;;\r\nFN:" + vcardText(contact.givenName + " " + contact.familyName) +
         "\r\nORG:" + vcardText(contact.organizationName) +
         "\r\nTITLE:" + vcardText(contact.jobTitle) + "\r\nEND:VCARD\r\n";
}

std::string calendarFile(const std::vector<std::string>& components) {
  std::string out = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//pemrix//conformance//EN\r\n";
  for (const std::string& component : components) out += component;
  return out + "END:VCALENDAR\r\n";
}

// A source's file resource and what it was last given.
struct Resource {
  Kind kind = Kind::events;
  std::string instance;  // the agent instance id
  std::string file;
  std::string text;      // the file's content as last loaded
  bool written = false;  // another client wrote through the resource, which saves it later
  long long collection = -1;
};

class AkonadiBackend final : public ConformanceBackend {
 public:
  AkonadiBackend() : folder_(std::string(std::getenv("HOME")) + "/conformance-world") {
    std::filesystem::create_directories(folder_);
  }
  ~AkonadiBackend() override { dropStores(); }

  std::string cannot(Capability capability) const override {
    if (capability == Capability::authorization) {
      return "a KDE desktop asks no consent: a reachable Akonadi is full access";
    }
    if (capability == Capability::failingService) {
      return "Akonadi offers no way to make the reads of one existing collection fail";
    }
    if (capability == Capability::skippedDueTimes) {
      // Akonadi hands over to-dos parsed by KCalendarCore, which keeps none of the text.
      return "KCalendarCore (Qt 5) drops a to-do's due date at a local time a clock change "
             "skips";
    }
    return "";
  }

  void write(const World& world) override {
    const char* zone = std::getenv("TZ");
    if (zone == nullptr || world.userZone != zone) {
      ADD_FAILURE() << "the session's zone (TZ) is not the world's " << world.userZone;
    }
    dropStores();
    for (auto it = resources_.begin(); it != resources_.end();) {
      const bool kept = std::any_of(world.sources.begin(), world.sources.end(),
                                    [&](const Source& s) { return s.id == it->first; });
      if (kept) {
        ++it;
      } else {
        removeResource(it->second);
        it = resources_.erase(it);
      }
    }
    for (const Source& source : world.sources) {
      std::string text;
      long items = 0;
      contentOf(world, source, text, items);
      load(source, text, items);
    }
    makeStores();
  }

  platform::System& system() override { return *system_; }
  platform::CalendarStore& calendarStore() override { return *calendars_; }
  platform::ContactStore& contactStore() override { return *contacts_; }
  void onStoreQueue(const std::function<void()>& task) override {
    platform::akonadi::QtThread::instance().run(task);
  }

  void changeFromAnotherClient(Kind kind, const std::string& sourceId) override {
    const std::string uid = "another-client-" + std::to_string(++changes_);
    Akonadi::Item item;
    const QDateTime at(QDate(2024, 5, 10), QTime(10, 0), Qt::UTC);
    if (kind == Kind::contacts) {
      KContacts::Addressee contact;
      contact.setUid(QString::fromStdString(uid));
      contact.setGivenName(QStringLiteral("Late"));
      contact.setFamilyName(QStringLiteral("Comer"));
      item.setMimeType(KContacts::Addressee::mimeType());
      item.setPayload(contact);
    } else if (kind == Kind::events) {
      KCalendarCore::Event::Ptr event(new KCalendarCore::Event);
      event->setUid(QString::fromStdString(uid));
      event->setDtStart(at);
      item.setMimeType(KCalendarCore::Event::eventMimeType());
      item.setPayload<KCalendarCore::Incidence::Ptr>(event);
    } else {
      KCalendarCore::Todo::Ptr todo(new KCalendarCore::Todo);
      todo->setUid(QString::fromStdString(uid));
      todo->setDtDue(at);
      item.setMimeType(KCalendarCore::Todo::todoMimeType());
      item.setPayload<KCalendarCore::Incidence::Ptr>(todo);
    }
    Resource& resource = resources_.at(sourceId);
    resource.written = true;
    onStoreQueue([&] {
      platform::akonadi::JobPtr<Akonadi::ItemCreateJob> job(
          new Akonadi::ItemCreateJob(item, Akonadi::Collection(resource.collection)));
      platform::Status made = platform::statusOf([&] { platform::akonadi::finish(job.get()); });
      EXPECT_TRUE(made.ok()) << made.text();
    });
  }

  void inject(Fault fault, Kind kind, const std::string& sourceId) override {
    if (fault != Fault::sourceGone) return;
    removeResource(resources_.at(sourceId));
    resources_.erase(sourceId);
    const bool gone = waitUntil([&] {
      Read<std::vector<Source>> listed = sourcesOf(*this, kind);
      return listed.records && std::none_of(listed.records->begin(), listed.records->end(),
                                            [&](const Source& s) { return s.id == sourceId; });
    });
    EXPECT_TRUE(gone) << "the stores still list " << sourceId;
  }

  void setAuthorization(Kind, platform::Authorization) override {}

  std::string storeId(const std::string& worldId) const override {
    auto found = resources_.find(worldId);
    return found != resources_.end() ? std::to_string(found->second.collection) : worldId;
  }

  std::optional<std::string> worldId(const std::string& storeId) const override {
    for (const auto& [id, resource] : resources_) {
      if (std::to_string(resource.collection) == storeId) return id;
    }
    // Collections are named by numbers, items and contacts by the world's UIDs.
    if (!storeId.empty() && std::all_of(storeId.begin(), storeId.end(), ::isdigit)) {
      return std::nullopt;
    }
    return storeId;
  }

 private:
  // The text of the file of `source` and how many items the resource makes of it.
  static void contentOf(const World& world, const Source& source, std::string& text, long& items) {
    if (source.kind == Kind::contacts) {
      for (const Contact& contact : world.contacts) {
        if (contact.container != source.id) continue;
        text += vcardOf(contact);
        ++items;
      }
      return;
    }
    std::vector<std::string> components;
    for (const Event& event : world.events) {
      if (source.kind != Kind::events || event.calendar != source.id) continue;
      for (std::string& one : veventsOf(event)) components.push_back(std::move(one));
    }
    for (const Reminder& reminder : world.reminders) {
      if (source.kind == Kind::reminders && reminder.list == source.id) {
        components.push_back(vtodoOf(reminder));
      }
    }
    items = static_cast<long>(components.size());
    text = calendarFile(components);
  }

  // Gives the resource of `source` (made when missing) the file `text` holding `items`
  // items, and waits until the store holds them.
  void load(const Source& source, const std::string& text, long items) {
    auto found = resources_.find(source.id);
    // A resource that another client wrote through saves its file on a timer of its own,
    // which would overwrite the next world: a fresh resource takes its place.
    if (found != resources_.end() && found->second.written) {
      removeResource(found->second);
      resources_.erase(found);
      found = resources_.end();
    }
    if (found == resources_.end()) {
      found = resources_.emplace(source.id, makeResource(source)).first;
    } else if (found->second.text == text) {
      return;
    } else if (items > 0) {
      // Through an empty file first, so that the count tells the new content has arrived.
      fill(found->second, source.kind == Kind::contacts ? std::string() : calendarFile({}), 0);
    }
    fill(found->second, text, items);
    narrow(found->second);
  }

  Resource makeResource(const Source& source) {
    Resource resource;
    resource.kind = source.kind;
    resource.file =
        folder_ + "/" + std::to_string(++made_) + (source.kind == Kind::contacts ? ".vcf" : ".ics");
    std::ofstream(resource.file, std::ios::binary)
        << (source.kind == Kind::contacts ? std::string() : calendarFile({}));
    const bool contacts = source.kind == Kind::contacts;
    resource.instance = callBus(QString::fromLatin1(kControl), QStringLiteral("/AgentManager"),
                                QStringLiteral("org.freedesktop.Akonadi.AgentManager"),
                                QStringLiteral("createAgentInstance"),
                                {contacts ? QStringLiteral("akonadi_vcard_resource")
                                          : QStringLiteral("akonadi_ical_resource")})
                            .toString()
                            .toStdString();
    const QString bus = busNameOf(resource);
    EXPECT_TRUE(waitUntil([&] { return busHas(bus); })) << resource.instance;
    const QString settings = contacts ? QStringLiteral("org.kde.Akonadi.VCard.Settings")
                                      : QStringLiteral("org.kde.Akonadi.ICal.Settings");
    const QString path = QStringLiteral("/Settings");
    callBus(bus, path, settings, QStringLiteral("setPath"),
            {QString::fromStdString(resource.file)});
    callBus(bus, path, settings, QStringLiteral("setDisplayName"),
            {QString::fromStdString(source.title)});
    callBus(bus, path, settings, QStringLiteral("setMonitorFile"), {false});
    callBus(bus, path, settings, QStringLiteral("save"));
    return resource;
  }

  static QString busNameOf(const Resource& resource) {
    return QStringLiteral("org.freedesktop.Akonadi.Resource.") +
           QString::fromStdString(resource.instance);
  }

  // Writes the file, has the resource read it again and waits for `items` items.
  void fill(Resource& resource, const std::string& text, long items) {
    std::ofstream(resource.file, std::ios::binary | std::ios::trunc) << text;
    const QString bus = busNameOf(resource);
    callBus(bus, QStringLiteral("/"), QStringLiteral("org.freedesktop.Akonadi.Agent.Control"),
            QStringLiteral("reconfigure"));
    callBus(bus, QStringLiteral("/"), QStringLiteral("org.freedesktop.Akonadi.Resource"),
            QStringLiteral("synchronize"));
    EXPECT_TRUE(waitUntil([&] { return itemsByResource()[resource.instance] == items; }))
        << resource.instance << " did not reach " << items << " items";
    resource.text = text;
  }

  // Finds the resource's collection and lets it offer only its source's kind of content.
  void narrow(Resource& resource) {
    onStoreQueue([&] {
      platform::akonadi::JobPtr<Akonadi::CollectionFetchJob> job(new Akonadi::CollectionFetchJob(
          Akonadi::Collection::root(), Akonadi::CollectionFetchJob::Recursive));
      job->fetchScope().setResource(QString::fromStdString(resource.instance));
      platform::Status listed = platform::statusOf([&] { platform::akonadi::finish(job.get()); });
      ASSERT_TRUE(listed.ok()) << listed.text();
      for (Akonadi::Collection collection : job->collections()) {
        if (collection.resource() != QString::fromStdString(resource.instance)) continue;
        resource.collection = collection.id();
        if (resource.kind == Kind::contacts) return;
        collection.setContentMimeTypes({QString::fromLatin1(platform::akonadi::mimeTypeOf(
            resource.kind == Kind::events ? platform::akonadi::Content::events
                                          : platform::akonadi::Content::todos))});
        platform::akonadi::JobPtr<Akonadi::CollectionModifyJob> modify(
            new Akonadi::CollectionModifyJob(collection));
        platform::Status changed =
            platform::statusOf([&] { platform::akonadi::finish(modify.get()); });
        EXPECT_TRUE(changed.ok()) << changed.text();
        return;
      }
      ADD_FAILURE() << "no collection of " << resource.instance;
    });
  }

  void removeResource(const Resource& resource) {
    callBus(QString::fromLatin1(kControl), QStringLiteral("/AgentManager"),
            QStringLiteral("org.freedesktop.Akonadi.AgentManager"),
            QStringLiteral("removeAgentInstance"), {QString::fromStdString(resource.instance)});
  }

  void dropStores() {
    onStoreQueue([this] {
      calendars_.reset();
      contacts_.reset();
    });
    system_.reset();
  }

  void makeStores() {
    system_ = std::make_unique<platform::AkonadiSystem>();
    onStoreQueue([this] {
      EXPECT_TRUE(system_->openCalendarStore(&calendars_).ok());
      EXPECT_TRUE(system_->openContactStore(&contacts_).ok());
    });
  }

  std::string folder_;
  std::map<std::string, Resource> resources_;
  std::unique_ptr<platform::AkonadiSystem> system_;
  std::unique_ptr<platform::CalendarStore> calendars_;
  std::unique_ptr<platform::ContactStore> contacts_;
  int changes_ = 0;
  int made_ = 0;  // resources made, which name their files
};

}  // namespace

std::unique_ptr<ConformanceBackend> makeConformanceBackend() {
  return std::make_unique<AkonadiBackend>();
}

}  // namespace pemrix::conformance
