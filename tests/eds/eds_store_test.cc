// The stores over a real, private EDS store: tools/eds-session.sh starts it and seeds
// worlds/store.json (Europe/Berlin) before these tests run. The tests add what a world
// file cannot say (recurrence rules, detached occurrences, zones) through EDS themselves,
// as another client would, and put requests through PersonalStores as the bridge does.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <libebook/libebook.h>
#include <libecal/libecal.h>
#include <libedataserver/libedataserver.h>

#include "platform/eds/eds_system.h"
#include "stores/personal_stores.h"

namespace pemrix {
namespace {

using namespace std::chrono_literals;

// A client of the store that is not the bridge: it writes as another program would.
class Writer {
 public:
  Writer() { registry_ = e_source_registry_new_sync(nullptr, nullptr); }
  ~Writer() { g_object_unref(registry_); }

  ECalClient* calendar(const char* uid, ECalClientSourceType type) {
    ESource* source = e_source_registry_ref_source(registry_, uid);
    EClient* client =
        e_cal_client_connect_sync(source, type, static_cast<guint32>(-1), nullptr, nullptr);
    g_object_unref(source);
    return E_CAL_CLIENT(client);
  }

  void addEvents(const char* uid, const std::vector<std::string>& vevents) {
    ECalClient* client = calendar(uid, E_CAL_CLIENT_SOURCE_TYPE_EVENTS);
    for (const std::string& text : vevents) {
      ICalComponent* component = i_cal_component_new_from_string(text.c_str());
      GError* error = nullptr;
      // A detached occurrence is a change of one occurrence of its series.
      bool detached = text.find("RECURRENCE-ID") != std::string::npos;
      EXPECT_TRUE(detached
                      ? e_cal_client_modify_object_sync(client, component, E_CAL_OBJ_MOD_THIS,
                                                        E_CAL_OPERATION_FLAG_NONE, nullptr, &error)
                      : e_cal_client_create_object_sync(
                            client, component, E_CAL_OPERATION_FLAG_NONE, nullptr, nullptr, &error))
          << (error ? error->message : "");
      g_clear_error(&error);
      g_object_unref(component);
    }
    g_object_unref(client);
  }

  void addContacts(const char* uid, int count, const char* prefix) {
    ESource* source = e_source_registry_ref_source(registry_, uid);
    EClient* client =
        e_book_client_connect_sync(source, static_cast<guint32>(-1), nullptr, nullptr);
    g_object_unref(source);
    GSList* contacts = nullptr;
    for (int i = 0; i < count; ++i) {
      EContact* contact = e_contact_new();
      std::string id = std::string(prefix) + std::to_string(i);
      e_contact_set(contact, E_CONTACT_UID, id.c_str());
      e_contact_set(contact, E_CONTACT_GIVEN_NAME, "Filler");
      // After every real family name in the address book's order.
      e_contact_set(contact, E_CONTACT_FAMILY_NAME, ("Zz" + id).c_str());
      e_contact_set(contact, E_CONTACT_EMAIL_1, "never@read.example");
      contacts = g_slist_prepend(contacts, contact);
    }
    EXPECT_TRUE(e_book_client_add_contacts_sync(
        E_BOOK_CLIENT(client), contacts, E_BOOK_OPERATION_FLAG_NONE, nullptr, nullptr, nullptr));
    g_slist_free_full(contacts, g_object_unref);
    g_object_unref(client);
  }

  void addSource(const char* uid, const char* title, const char* extension) {
    ESource* source = e_source_new_with_uid(uid, nullptr, nullptr);
    e_source_set_parent(source, "local-stub");
    e_source_set_display_name(source, title);
    e_source_backend_set_backend_name(E_SOURCE_BACKEND(e_source_get_extension(source, extension)),
                                      "local");
    EXPECT_TRUE(e_source_registry_commit_source_sync(registry_, source, nullptr, nullptr));
    g_object_unref(source);
  }

  void removeSource(const char* uid) {
    for (int i = 0; i < 100; ++i) {
      if (ESource* source = e_source_registry_ref_source(registry_, uid)) {
        EXPECT_TRUE(e_source_remove_sync(source, nullptr, nullptr));
        g_object_unref(source);
        return;
      }
      g_main_context_iteration(nullptr, FALSE);
      std::this_thread::sleep_for(10ms);
    }
    ADD_FAILURE() << "no source " << uid;
  }

 private:
  ESourceRegistry* registry_;
};

std::string vevent(const std::string& body) {
  return "BEGIN:VEVENT\r\nDTSTAMP:20240101T000000Z\r\n" + body + "END:VEVENT\r\n";
}

// The bridge's stores over the session's EDS, with a way to put one request through them.
class EdsStoreTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Writer writer;
    writer.addEvents(
        "cal-work",
        {// Weekly at 10:00 Berlin time from 29 April, the third moved out of May, the fourth
         // excluded, the second moved within the window.
         vevent("UID:series\r\nSUMMARY:Standup\r\n"
                "DTSTART;TZID=Europe/Berlin:20240429T100000\r\n"
                "DTEND;TZID=Europe/Berlin:20240429T103000\r\n"
                "RRULE:FREQ=WEEKLY;COUNT=6\r\nEXDATE;TZID=Europe/Berlin:20240520T100000\r\n"),
         vevent("UID:series\r\nSUMMARY:Standup (moved)\r\n"
                "RECURRENCE-ID;TZID=Europe/Berlin:20240506T100000\r\n"
                "DTSTART;TZID=Europe/Berlin:20240507T140000\r\n"
                "DTEND;TZID=Europe/Berlin:20240507T143000\r\n"),
         vevent("UID:series\r\nSUMMARY:Standup (June)\r\n"
                "RECURRENCE-ID;TZID=Europe/Berlin:20240513T100000\r\n"
                "DTSTART;TZID=Europe/Berlin:20240612T100000\r\n"
                "DTEND;TZID=Europe/Berlin:20240612T103000\r\n"),
         // Floating: 09:00 wherever the reader is (here Berlin).
         vevent("UID:floating\r\nSUMMARY:Floating\r\nDTSTART:20240508T090000\r\n"
                "DTEND:20240508T100000\r\n"),
         vevent("UID:tokyo\r\nDTSTART;TZID=Asia/Tokyo:20240509T090000\r\n"
                "DURATION:PT1H\r\n")});
    writer.addContacts("book-work", 2100, "filler-");
  }

  EdsStoreTest() : stores_(system_) {
    stores_.setOnChange([this](NativeEntity entity) {
      std::lock_guard<std::mutex> lock(changesMutex_);
      changes_.push_back(entity);
    });
  }

  // The answer to one request line: its result or failure, as JSON of the wire's shape.
  Json ask(const std::string& line) {
    std::optional<NativeRequest> request = NativeRequest::parse(line);
    EXPECT_TRUE(request && request->storeRequest()) << line;
    if (!request || !request->storeRequest()) return Json();
    auto lifetime = std::make_shared<RequestLifetime>(kRequestAllowance, clock_);
    auto answer = std::make_shared<std::promise<StoreResult>>();
    stores_.perform(*request->storeRequest(), lifetime,
                    [answer](StoreResult result) { answer->set_value(result); });
    auto future = answer->get_future();
    if (future.wait_for(20s) != std::future_status::ready) {
      ADD_FAILURE() << "no answer to " << line;
      return Json();
    }
    StoreResult result = future.get();
    if (auto* failure = std::get_if<BridgeFailure>(&result)) {
      return Json{{"code", wireName(failure->code())}, {"message", failure->message()}};
    }
    return std::get<Json>(result);
  }

  static std::vector<std::string> field(const Json& result, const char* key) {
    std::vector<std::string> values;
    for (const Json& item : result["items"]) values.push_back(item[key]);
    return values;
  }

  // Ends the EDS service that owns `name` on the session's private bus, by its process id.
  static bool endService(const char* name) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "GetConnectionUnixProcessID", g_variant_new("(s)", name), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr);
    g_object_unref(bus);
    if (reply == nullptr) return false;
    guint32 pid = 0;
    g_variant_get(reply, "(u)", &pid);
    g_variant_unref(reply);
    bool ended = ::kill(static_cast<pid_t>(pid), SIGKILL) == 0;
    std::this_thread::sleep_for(200ms);
    return ended;
  }

  // The query right after a service died either fails as unavailable or, when the bridge
  // already knew, is served in full; never a partial or empty success.
  void expectServedOrUnavailable(const std::string& query, const std::string& onlyId) {
    Json during = ask(query);
    if (during.contains("code")) {
      EXPECT_EQ(during.dump(), R"({"code":"source_unavailable","message":"The desktop's calendar )"
                               R"(and contacts service could not read the selected sources. )"
                               R"(Check that it is running and try again."})");
    } else {
      EXPECT_EQ(field(during, "id"), std::vector<std::string>{onlyId});
    }
  }

  std::vector<NativeEntity> changes() {
    std::lock_guard<std::mutex> lock(changesMutex_);
    return changes_;
  }

  // Waits (at most `limit`) until a change for `entity` has been reported.
  bool changeReported(NativeEntity entity, std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
      for (NativeEntity seen : changes()) {
        if (seen == entity) return true;
      }
      if (std::chrono::steady_clock::now() >= end) return false;
      std::this_thread::sleep_for(20ms);
    }
  }

  void forgetChanges() {
    std::lock_guard<std::mutex> lock(changesMutex_);
    changes_.clear();
  }

  platform::SystemClock clock_;
  platform::System system_;
  PersonalStores stores_;
  std::mutex changesMutex_;
  std::vector<NativeEntity> changes_;
};

constexpr const char* kMay = R"("start":"2024-05-01T00:00:00Z","end":"2024-06-01T00:00:00Z")";

TEST_F(EdsStoreTest, StatusIsFullAccessAndSourcesAreTheWorldsInRegistryOrder) {
  EXPECT_EQ(
      stores_.status().dump(),
      R"({"permissions":{"contacts":"fullAccess","events":"fullAccess","reminders":"fullAccess"}})");
  EXPECT_EQ(ask(R"({"id":"1","command":"list-sources","entity":"events"})").dump(),
            R"({"permission":"fullAccess","sources":[{"id":"cal-home","title":"Home"},)"
            R"({"id":"cal-work","title":"Work"}],"truncated":false})");
  EXPECT_EQ(ask(R"({"id":"1","command":"list-sources","entity":"reminders"})")["sources"].dump(),
            R"([{"id":"list-errands","title":"Errands"}])");
  EXPECT_EQ(ask(R"({"id":"1","command":"list-sources","entity":"contacts"})")["sources"].dump(),
            R"([{"id":"book-personal","title":"Personal"},{"id":"book-work","title":"Work"}])");
  EXPECT_EQ(ask(R"({"id":"1","command":"request-permission","entity":"contacts"})").dump(),
            R"({"permission":"fullAccess"})");
}

TEST_F(EdsStoreTest, EventsAreOccurrencesWithMovedAndExcludedOnesInTheirPlace) {
  Json result = ask(std::string(R"({"id":"1","command":"query","entity":"events",)") +
                    R"("sourceIds":["cal-work","cal-home"],)" + kMay + "}");
  EXPECT_EQ(field(result, "id"),
            (std::vector<std::string>{
                "evt-dinner@2024-05-02T17:00:00Z", "evt-birthday@2024-05-02T22:00:00Z",
                "evt-review@2024-05-06T08:00:00Z", "series@2024-05-07T12:00:00Z",
                "floating@2024-05-08T07:00:00Z", "tokyo@2024-05-09T00:00:00Z",
                "series@2024-05-27T08:00:00Z"}));
  EXPECT_EQ(field(result, "title")[3], "Standup (moved)");
  EXPECT_EQ(
      result["items"][1].dump(),
      R"({"allDay":true,"end":"2024-05-03T22:00:00Z","id":"evt-birthday@2024-05-02T22:00:00Z",)"
      R"("sourceId":"cal-home","start":"2024-05-02T22:00:00Z","title":"Maya's birthday"})");
  EXPECT_EQ(result["items"][5]["title"], "");  // no SUMMARY
  EXPECT_EQ(result["truncated"], false);

  // The moved-out occurrence appears in June, in its new slot only.
  result = ask(R"({"id":"1","command":"query","entity":"events","sourceIds":["cal-work"],)"
               R"("start":"2024-06-01T00:00:00Z","end":"2024-06-30T00:00:00Z"})");
  EXPECT_EQ(field(result, "id"), (std::vector<std::string>{"series@2024-06-03T08:00:00Z",
                                                           "series@2024-06-12T08:00:00Z"}));

  // An occurrence that began before the window and runs into it is listed; the limit keeps
  // the earliest, and says so.
  result = ask(R"({"id":"1","command":"query","entity":"events","sourceIds":["cal-work"],)"
               R"("limit":2,"start":"2024-04-29T08:15:00Z","end":"2024-05-28T00:00:00Z"})");
  EXPECT_EQ(field(result, "id"), (std::vector<std::string>{"series@2024-04-29T08:00:00Z",
                                                           "evt-review@2024-05-06T08:00:00Z"}));
  EXPECT_EQ(result["truncated"], true);
}

TEST_F(EdsStoreTest, RemindersAreFilteredExactlyInTheirOwnZones) {
  // The window starts at midnight of 1 January in Berlin: a task due that DATE is in, and
  // EDS's own filter (another zone) is not what decides.
  Json result = ask(R"({"id":"1","command":"query","entity":"reminders",)"
                    R"("sourceIds":["list-errands"],"start":"2023-12-31T23:00:00Z",)"
                    R"("end":"2024-01-04T07:00:00Z"})");
  EXPECT_EQ(result.dump(),
            R"({"items":[{"completed":false,"due":"2023-12-31T23:00:00Z","id":"rem-new-year",)"
            R"("priority":0,"sourceId":"list-errands","title":"New year"},)"
            R"({"completed":false,"due":"2024-01-02T14:30:00Z","id":"rem-passport",)"
            R"("priority":1,"sourceId":"list-errands","title":"Renew passport"},)"
            R"({"completed":false,"due":"2024-01-03T12:00:00Z","id":"rem-utc","priority":0,)"
            R"("sourceId":"list-errands","title":"Call at noon UTC"}],"truncated":false})");
  // One second later the new-year task is out; the floating one is due at 08:00 Berlin.
  result = ask(R"({"id":"1","command":"query","entity":"reminders",)"
               R"("sourceIds":["list-errands"],"start":"2023-12-31T23:00:01Z",)"
               R"("end":"2024-01-04T07:00:01Z"})");
  EXPECT_EQ(field(result, "id"),
            (std::vector<std::string>{"rem-passport", "rem-utc", "rem-floating"}));
}

TEST_F(EdsStoreTest, ContactsAreReadInStepsUpToTheScanCap) {
  // Anna sorts before the 2,100 fillers of her book, and the scan of both books ends at
  // 2,000 contacts: found, and truncated.
  Json result = ask(R"({"id":"1","command":"query","entity":"contacts",)"
                    R"("sourceIds":["book-personal","book-work"],"query":"ACME"})");
  EXPECT_EQ(result.dump(),
            R"({"items":[{"id":"c-acme","jobTitle":"","organization":"Acme",)"
            R"("sourceId":"book-personal","title":"Acme"},{"id":"c-anna","jobTitle":)"
            R"("Product Manager","organization":"Acme Corp","sourceId":"book-work",)"
            R"("title":"Anna Smith"}],"truncated":true})");
  EXPECT_EQ(field(ask(R"({"id":"1","command":"query","entity":"contacts",)"
                      R"("sourceIds":["book-personal"],"query":"jose garcia"})"),
                  "title"),
            std::vector<std::string>{"José García"});
  // 2,101 contacts in the work book: the scan stops at 2,000 with nothing found...
  result = ask(R"({"id":"1","command":"query","entity":"contacts",)"
               R"("sourceIds":["book-work"],"query":"nobody"})");
  EXPECT_EQ(result.dump(), R"({"items":[],"truncated":true})");
  // ...and at the limit when enough match; e-mail addresses are never matched.
  result = ask(R"({"id":"1","command":"query","entity":"contacts",)"
               R"("sourceIds":["book-work"],"query":"filler","limit":3})");
  EXPECT_EQ(result["items"].size(), 3u);
  EXPECT_EQ(result["truncated"], true);
  EXPECT_EQ(ask(R"({"id":"1","command":"query","entity":"contacts",)"
                R"("sourceIds":["book-work"],"query":"example"})")["items"]
                .size(),
            0u);
}

TEST_F(EdsStoreTest, WritesAndSourceChangesAreReportedButOpeningASourceIsNot) {
  ask(std::string(R"({"id":"1","command":"query","entity":"events","sourceIds":["cal-home"],)") +
      kMay + "}");
  ask(R"({"id":"1","command":"query","entity":"contacts","sourceIds":["book-personal"],"query":"zz"})");
  std::this_thread::sleep_for(500ms);
  forgetChanges();

  Writer writer;
  g_object_unref(writer.calendar("cal-home", E_CAL_CLIENT_SOURCE_TYPE_EVENTS));
  std::this_thread::sleep_for(1200ms);
  EXPECT_TRUE(changes().empty());

  writer.addEvents("cal-home", {vevent("UID:added\r\nDTSTART:20240510T100000Z\r\n")});
  EXPECT_TRUE(changeReported(NativeEntity::events, 3s));
  EXPECT_TRUE(changeReported(NativeEntity::reminders, 0ms));
  EXPECT_FALSE(changeReported(NativeEntity::contacts, 0ms));

  forgetChanges();
  writer.addContacts("book-personal", 1, "new-");
  EXPECT_TRUE(changeReported(NativeEntity::contacts, 3s));

  // EDS may also update the address book's stored source data a moment after the write.
  std::this_thread::sleep_for(1s);
  forgetChanges();
  writer.addSource("cal-new", "New", E_SOURCE_EXTENSION_CALENDAR);
  EXPECT_TRUE(changeReported(NativeEntity::events, 3s));
  EXPECT_FALSE(changeReported(NativeEntity::contacts, 0ms));
}

TEST_F(EdsStoreTest, GoneSourcesAreMissingAndADeadServiceIsUnavailableOnlyOnce) {
  EXPECT_EQ(ask(R"({"id":"1","command":"query","entity":"events","sourceIds":["cal-none"],)"
                R"("start":"2024-05-01T00:00:00Z","end":"2024-05-02T00:00:00Z"})")["code"],
            "source_missing");
  EXPECT_EQ(ask(R"({"id":"1","command":"query","entity":"events","sourceIds":["list-errands"],)"
                R"("start":"2024-05-01T00:00:00Z","end":"2024-05-02T00:00:00Z"})")["code"],
            "source_missing");
  Writer writer;
  writer.addSource("cal-doomed", "Doomed", E_SOURCE_EXTENSION_CALENDAR);
  std::this_thread::sleep_for(300ms);
  ask(R"({"id":"1","command":"list-sources","entity":"events"})");
  writer.removeSource("cal-doomed");
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(ask(R"({"id":"1","command":"query","entity":"events","sourceIds":["cal-doomed"],)"
                R"("start":"2024-05-01T00:00:00Z","end":"2024-05-02T00:00:00Z"})")["code"],
            "source_missing");

  // The calendar service dies: a query fails as unavailable or, if the bridge already
  // knows, reconnects; either way the next one is served in full.
  const std::string query = R"({"id":"1","command":"query","entity":"events",)"
                            R"("sourceIds":["cal-work"],"start":"2024-05-06T00:00:00Z",)"
                            R"("end":"2024-05-07T00:00:00Z"})";
  EXPECT_EQ(field(ask(query), "id"), std::vector<std::string>{"evt-review@2024-05-06T08:00:00Z"});
  ASSERT_TRUE(endService("org.gnome.evolution.dataserver.Calendar8"));
  expectServedOrUnavailable(query, "evt-review@2024-05-06T08:00:00Z");
  EXPECT_EQ(field(ask(query), "id"), std::vector<std::string>{"evt-review@2024-05-06T08:00:00Z"});

  // So does the source registry.
  ASSERT_TRUE(endService("org.gnome.evolution.dataserver.Sources5"));
  expectServedOrUnavailable(query, "evt-review@2024-05-06T08:00:00Z");
  EXPECT_EQ(field(ask(query), "id"), std::vector<std::string>{"evt-review@2024-05-06T08:00:00Z"});
}

}  // namespace
}  // namespace pemrix
