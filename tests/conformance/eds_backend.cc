// evolution-data-server as a conformance backend, inside the private session that
// tools/eds-session.sh starts (its world, conformance_session.json, sets the user's zone
// and disables EDS's own sources). The writer is the EDS tests' own (eds/eds_writer.h): it
// makes the world's sources and writes events and tasks as iCalendar text and contacts
// as vCards, as another program would. The stores are made anew over a fresh System
// after each write, and run on the GLib thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <thread>

#include "conformance/ical_text.h"
#include "conformance/platform_calls.h"
#include "eds/eds_writer.h"
#include "platform/eds/eds_system.h"
#include "platform/eds/glib_thread.h"
#include "platform/eds/system_impl.h"

namespace pemrix::conformance {
namespace {

using namespace std::chrono_literals;

const char* extensionOf(Kind kind) {
  return kind == Kind::events      ? E_SOURCE_EXTENSION_CALENDAR
         : kind == Kind::reminders ? E_SOURCE_EXTENSION_TASK_LIST
                                   : E_SOURCE_EXTENSION_ADDRESS_BOOK;
}

class EdsBackend final : public ConformanceBackend {
 public:
  ~EdsBackend() override { dropStores(); }

  std::string cannot(Capability capability) const override {
    if (capability != Capability::authorization) return "";
    return "a Linux desktop asks no consent: a reachable EDS is full access (the other states "
           "come from the session bus, tested by EdsAccessTest)";
  }

  void write(const World& world) override {
    const char* zone = std::getenv("TZ");
    if (zone == nullptr || world.userZone != zone) {
      ADD_FAILURE() << "the session's zone (TZ) is not the world's " << world.userZone;
    }
    dropStores();
    {
      testing::Writer& writer = sharedWriter();
      writer.removeSourcesBut([&](const std::string& uid) {
        return std::any_of(world.sources.begin(), world.sources.end(),
                           [&](const Source& source) { return source.id == uid; });
      });
      for (const Source& source : world.sources) {
        writer.restoreSource(source.id.c_str(), source.title.c_str(), extensionOf(source.kind));
      }
    }
    std::this_thread::sleep_for(300ms);  // the registry's signals reach its other clients
    testing::Writer& writer = sharedWriter();
    for (const Source& source : world.sources) {
      ASSERT_TRUE(writer.sees(source.id.c_str())) << source.id;
      writer.clearSource(source.id.c_str(), extensionOf(source.kind));
    }
    for (const Event& event : world.events)
      writer.addEvents(event.calendar.c_str(), veventsOf(event));
    for (const Reminder& reminder : world.reminders) {
      writer.addEvents(reminder.list.c_str(), {vtodoOf(reminder)}, E_CAL_CLIENT_SOURCE_TYPE_TASKS);
    }
    std::map<std::string, std::vector<std::vector<std::string>>> books;
    for (const Contact& contact : world.contacts) {
      books[contact.container].push_back({contact.id, contact.givenName, contact.familyName,
                                          contact.organizationName, contact.jobTitle});
    }
    for (const auto& [book, rows] : books) writer.addNamedContacts(book.c_str(), rows);
    makeStores(world);
  }

  platform::System& system() override { return *system_; }
  platform::CalendarStore& calendarStore() override { return *calendars_; }
  platform::ContactStore& contactStore() override { return *contacts_; }
  void onStoreQueue(const std::function<void()>& task) override {
    platform::eds::GlibThread::instance().run(task);
  }

  void changeFromAnotherClient(Kind kind, const std::string& sourceId) override {
    testing::Writer& writer = sharedWriter();
    const std::string uid = "another-client-" + std::to_string(++changes_);
    if (kind == Kind::contacts) {
      writer.addNamedContacts(sourceId.c_str(), {{uid, "Late", "Comer", ""}});
    } else if (kind == Kind::events) {
      writer.addEvents(sourceId.c_str(),
                       {component("VEVENT", "UID:" + uid + "\r\nDTSTART:20240510T100000Z\r\n")});
    } else {
      writer.addEvents(sourceId.c_str(),
                       {component("VTODO", "UID:" + uid + "\r\nDUE:20240510T100000Z\r\n")},
                       E_CAL_CLIENT_SOURCE_TYPE_TASKS);
    }
  }

  void inject(Fault fault, Kind kind, const std::string& sourceId) override {
    testing::Writer& writer = sharedWriter();
    if (fault == Fault::sourceGone) {
      writer.removeSource(sourceId.c_str());
    } else {
      writer.breakSource(sourceId.c_str(), extensionOf(kind));
    }
    // Until the stores' registry has heard of it.
    for (int i = 0; i < 100; ++i) {
      std::this_thread::sleep_for(30ms);
      Read<std::vector<Source>> listed = sourcesOf(*this, kind);
      bool present =
          listed.records && std::any_of(listed.records->begin(), listed.records->end(),
                                        [&](const Source& s) { return s.id == sourceId; });
      if (fault == Fault::sourceGone ? !present : i >= 10) return;
    }
    ADD_FAILURE() << "the stores still list " << sourceId;
  }

  void setAuthorization(Kind, platform::Authorization) override {}

 private:
  void dropStores() {
    onStoreQueue([this] {
      calendars_.reset();
      contacts_.reset();
      system_.reset();
    });
  }

  // Fresh stores over a fresh System, once its registry lists the world's sources (a
  // registry made while the previous one is going away may come up without them).
  void makeStores(const World& world) {
    std::size_t expected = 0;
    for (const Source& source : world.sources) expected += source.kind == Kind::events;
    onStoreQueue([this] {
      system_ = std::make_unique<platform::EdsSystem>();
      EXPECT_TRUE(system_->openCalendarStore(&calendars_).ok());
      EXPECT_TRUE(system_->openContactStore(&contacts_).ok());
    });
    for (int attempt = 0; attempt < 100; ++attempt) {
      Read<std::vector<Source>> listed = sourcesOf(*this, Kind::events);
      if (listed.records && listed.records->size() == expected) return;
      onStoreQueue([this] { system_->impl().dropRegistry(); });
      std::this_thread::sleep_for(30ms);
    }
    ADD_FAILURE() << "the registry did not list the world's calendars";
  }

  // One writer for the backend's life: each one holds a source registry of its own.
  testing::Writer& sharedWriter() {
    if (!writer_) writer_ = std::make_unique<testing::Writer>();
    return *writer_;
  }

  std::unique_ptr<testing::Writer> writer_;
  std::unique_ptr<platform::EdsSystem> system_;
  std::unique_ptr<platform::CalendarStore> calendars_;
  std::unique_ptr<platform::ContactStore> contacts_;
  int changes_ = 0;
};

}  // namespace

std::unique_ptr<ConformanceBackend> makeConformanceBackend() {
  return std::make_unique<EdsBackend>();
}

}  // namespace pemrix::conformance
