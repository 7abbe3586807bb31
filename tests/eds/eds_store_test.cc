// The stores over a real, private EDS store: tools/eds-session.sh starts it and seeds
// worlds/store.json (Europe/Berlin) before these tests run. The tests add what a world
// file cannot say (recurrence rules, detached occurrences, zones) through EDS themselves,
// as another client would, and put requests through PersonalStores as the bridge does.
// EdsFarZoneTest runs in sessions of its own, over worlds/kiritimati.json and
// worlds/pago-pago.json, whose zones are as far from UTC as zones go.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <libebook/libebook.h>
#include <libecal/libecal.h>
#include <libedataserver/libedataserver.h>

#include "common/timestamp.h"
#include "eds_writer.h"
#include "platform/eds/contact_walk.h"
#include "platform/eds/eds_system.h"
#include "platform/eds/glib_thread.h"
#include "platform/eds/system_impl.h"
#include "stores/personal_stores.h"

namespace pemrix {
namespace {

using namespace std::chrono_literals;

using testing::Writer;

// The answer of `stores` to one request line: its result or failure, as JSON of the wire's
// shape.
Json answerOf(PersonalStores& stores, const platform::Clock& clock, const std::string& line) {
  std::optional<NativeRequest> request = NativeRequest::parse(line);
  EXPECT_TRUE(request && request->storeRequest()) << line;
  if (!request || !request->storeRequest()) return Json();
  auto lifetime = std::make_shared<RequestLifetime>(kRequestAllowance, clock);
  auto answer = std::make_shared<std::promise<StoreResult>>();
  stores.perform(*request->storeRequest(), lifetime,
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
    addClockChangeNights(writer);
    writer.addContacts("book-work", 2100, "filler-");
  }

  // Local times on the nights clocks change: daily at 02:30 in Berlin (named, floating in
  // the session's Berlin, and under a zone only the calendar defines), one-off events in New
  // York and Lord Howe, Samoa's skipped day, and tasks due in the repeated and skipped hour.
  static void addClockChangeNights(Writer& writer) {
    writer.addZone("cal-home",
                   "BEGIN:VTIMEZONE\r\nTZID:Custom Berlin\r\nBEGIN:DAYLIGHT\r\n"
                   "TZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nDTSTART:19810329T020000\r\n"
                   "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\nEND:DAYLIGHT\r\nBEGIN:STANDARD\r\n"
                   "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nDTSTART:19961027T030000\r\n"
                   "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n");
    // Daily, but only on the days around the two changes.
    const std::string daily =
        ":20240330T023000\r\nDURATION:PT1H\r\nRRULE:FREQ=DAILY;BYMONTH=3,4,10;"
        "BYMONTHDAY=26,27,28,30,31,1;UNTIL=20241231T000000Z\r\n";
    writer.addEvents(
        "cal-home",
        {vevent("UID:tz-named\r\nDTSTART;TZID=Europe/Berlin" + daily),
         vevent("UID:tz-floating\r\nDTSTART" + daily),
         vevent("UID:tz-stored\r\nDTSTART;TZID=Custom Berlin" + daily),
         vevent("UID:ny-gap\r\nDTSTART;TZID=America/New_York:20240310T023000\r\n"),
         vevent("UID:ny-repeat\r\nDTSTART;TZID=America/New_York:20241103T013000\r\n"),
         vevent("UID:lh-gap\r\nDTSTART;TZID=Australia/Lord_Howe:20241006T021500\r\n"),
         vevent("UID:lh-repeat\r\nDTSTART;TZID=Australia/Lord_Howe:20240407T014500\r\n"),
         vevent("UID:apia\r\nDTSTART;TZID=Pacific/Apia:20111228T120000\r\n"
                "RRULE:FREQ=DAILY;COUNT=3\r\n")});
    auto vtodo = [](const std::string& body) { return "BEGIN:VTODO\r\n" + body + "END:VTODO\r\n"; };
    writer.addEvents("list-errands",
                     {vtodo("UID:due-gap\r\nDUE;TZID=Europe/Berlin:20240331T023000\r\n"),
                      vtodo("UID:due-gap-floating\r\nDUE:20240331T024500\r\n"),
                      vtodo("UID:due-repeat\r\nDUE;TZID=Europe/Berlin:20241027T023000\r\n"),
                      vtodo("UID:due-from-start\r\nDTSTART;TZID=Europe/Berlin:20241027T013000\r\n"
                            "DURATION:PT90M\r\n")},
                     E_CAL_CLIENT_SOURCE_TYPE_TASKS);
  }

  EdsStoreTest() : stores_(system_) {
    stores_.setOnChange([this](NativeEntity entity) {
      std::lock_guard<std::mutex> lock(changesMutex_);
      changes_.push_back(entity);
    });
  }

  Json ask(const std::string& line) { return answerOf(stores_, clock_, line); }

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

  // The contacts of `book` as one cursor walk of a client that reads directly or over
  // D-Bus sees them, in order, as "uid given family organisation"; `atFirst` runs when the
  // first contact is seen, with the book's source. Runs on the GLib thread with the
  // bridge's registry, as the stores do.
  std::vector<std::string> walk(const char* book, bool direct, int step,
                                const std::function<void(ESource*)>& atFirst = {}) {
    std::vector<std::string> seen;
    platform::eds::GlibThread::instance().run([&] {
      // A registry made while the previous test's is still going away has been seen to come
      // up without sources (about one run in ten on a loaded machine): make it again.
      ESourceRegistry* registry = system_.impl().registry();
      ESource* source = e_source_registry_ref_source(registry, book);
      for (int attempt = 0; source == nullptr && attempt < 50; ++attempt) {
        system_.impl().dropRegistry();
        std::this_thread::sleep_for(20ms);
        registry = system_.impl().registry();
        source = e_source_registry_ref_source(registry, book);
      }
      ASSERT_NE(source, nullptr) << book;
      const auto noWait = static_cast<guint32>(-1);
      GError* error = nullptr;
      EClient* client =
          direct ? e_book_client_connect_direct_sync(registry, source, noWait, nullptr, &error)
                 : e_book_client_connect_sync(source, noWait, nullptr, &error);
      ASSERT_NE(client, nullptr) << error->message;
      bool walked = platform::eds::walkContacts(
          E_BOOK_CLIENT(client), step,
          [&](EContact* contact, bool&) {
            if (seen.empty() && atFirst) atFirst(source);
            std::string row;
            for (EContactField key :
                 {E_CONTACT_UID, E_CONTACT_GIVEN_NAME, E_CONTACT_FAMILY_NAME, E_CONTACT_ORG}) {
              const auto* text = static_cast<const char*>(e_contact_get_const(contact, key));
              row += std::string(row.empty() ? "" : " ") + (text != nullptr ? text : "");
            }
            seen.push_back(row);
          },
          &error);
      EXPECT_TRUE(walked) << (error != nullptr ? error->message : "");
      g_clear_error(&error);
      g_object_unref(client);
      g_object_unref(source);
    });
    return seen;
  }

  platform::SystemClock clock_;
  platform::EdsSystem system_;
  PersonalStores stores_;
  std::mutex changesMutex_;
  std::vector<NativeEntity> changes_;
};

constexpr const char* kMay = R"("start":"2024-05-01T00:00:00Z","end":"2024-06-01T00:00:00Z")";

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

TEST_F(EdsStoreTest, ClockChangeNightsFollowTheOneWallTimeRule) {
  // The three Berlin series answer the same instants; equal starts come in UID order.
  auto berlin = [](const std::vector<std::string>& starts) {
    std::vector<std::string> ids;
    for (const std::string& start : starts) {
      for (const char* uid : {"tz-floating", "tz-named", "tz-stored"}) {
        ids.push_back(std::string(uid) + "@" + start);
      }
    }
    return ids;
  };
  struct Case {
    const char* source;                 // a calendar (events) or a task list (reminders)
    const char* day;                    // the first of the three days asked for
    std::vector<std::string> expected;  // events: "id@start"; reminders: "id@due"
  } cases[] = {
      // 02:30 is skipped on 31 March and read as 03:30 summer time; the next day is itself.
      {"cal-home", "2024-03-30",
       berlin({"2024-03-30T01:30:00Z", "2024-03-31T01:30:00Z", "2024-04-01T00:30:00Z"})},
      // 02:30 comes twice on 27 October: the first is meant.
      {"cal-home", "2024-10-26",
       berlin({"2024-10-26T00:30:00Z", "2024-10-27T00:30:00Z", "2024-10-28T01:30:00Z"})},
      {"cal-home", "2024-03-09", {"ny-gap@2024-03-10T07:30:00Z"}},
      {"cal-home", "2024-11-02", {"ny-repeat@2024-11-03T05:30:00Z"}},
      {"cal-home", "2024-10-04", {"lh-gap@2024-10-05T15:45:00Z"}},
      {"cal-home", "2024-04-05", {"lh-repeat@2024-04-06T14:45:00Z"}},
      // Noon of the skipped 30 December is read at UTC-10, a day after noon on the 29th.
      {"cal-home",
       "2011-12-28",
       {"apia@2011-12-28T22:00:00Z", "apia@2011-12-29T22:00:00Z", "apia@2011-12-30T22:00:00Z"}},
      {"list-errands",
       "2024-03-30",
       {"due-gap@2024-03-31T01:30:00Z", "due-gap-floating@2024-03-31T01:45:00Z"}},
      {"list-errands",
       "2024-10-26",
       {"due-repeat@2024-10-27T00:30:00Z", "due-from-start@2024-10-27T01:00:00Z"}},
  };
  for (const Case& c : cases) {
    Instant start = *parseDate(std::string(c.day) + "T00:00:00Z");
    bool events = std::string(c.source).starts_with("cal-");
    Json result = ask(std::string(R"({"id":"1","command":"query","entity":")") +
                      (events ? "events" : "reminders") + R"(","sourceIds":[")" + c.source +
                      R"("],"start":")" + formatDate(start) + R"(","end":")" +
                      formatDate(start + 72h) + R"("})");
    std::vector<std::string> got;
    for (const Json& item : result["items"]) {
      std::string id = item["id"];
      got.push_back(events ? id : id + "@" + item["due"].get<std::string>());
      // Every instance lasts exactly as long as the first.
      if (id.starts_with("tz-")) {
        EXPECT_EQ(*parseDate(item["end"].get<std::string>()) -
                      *parseDate(item["start"].get<std::string>()),
                  1h);
      }
    }
    EXPECT_EQ(got, c.expected) << c.source << " from " << c.day;
  }
}

// Calendars over files that other programs wrote: Outlook's zone names, a name no one
// defines (read as UTC, as EDS reads it), events that end before they start, the year 9999,
// and a series every minute since 2000, which answers with its earliest occurrences in the
// window beside the other calendars' events.
TEST_F(EdsStoreTest, OutlookZonesOddEventsAndADenseSeries) {
  Writer writer;
  const std::string outlook =
      vevent(
          "UID:windows\r\nDTSTART;TZID=W. Europe Standard Time:20240507T120000\r\n"
          "DURATION:PT1H\r\n") +
      vevent("UID:unknown\r\nDTSTART;TZID=Olympus Mons Time:20240507T130000\r\nDURATION:PT1H\r\n") +
      vevent("UID:backward\r\nDTSTART:20240507T140000Z\r\nDTEND:20240507T130000Z\r\n") +
      vevent("UID:negative\r\nDTSTART:20240507T150000Z\r\nDURATION:-PT1H\r\n") +
      vevent("UID:far\r\nDTSTART:99991231T120000Z\r\nDURATION:PT1H\r\n");
  writer.addSource("cal-outlook", "Outlook", E_SOURCE_EXTENSION_CALENDAR, &outlook);
  const std::string dense =
      vevent("UID:dense\r\nDTSTART:20000101T000000Z\r\nDURATION:PT1M\r\nRRULE:FREQ=MINUTELY\r\n");
  writer.addSource("cal-dense", "Dense", E_SOURCE_EXTENSION_CALENDAR, &dense);
  std::this_thread::sleep_for(300ms);

  Json result = ask(R"({"id":"1","command":"query","entity":"events","sourceIds":["cal-outlook"],)"
                    R"("start":"2024-05-07T00:00:00Z","end":"2024-05-08T00:00:00Z"})");
  EXPECT_EQ(
      field(result, "id"),
      (std::vector<std::string>{"windows@2024-05-07T10:00:00Z", "unknown@2024-05-07T13:00:00Z",
                                "backward@2024-05-07T14:00:00Z", "negative@2024-05-07T15:00:00Z"}));
  EXPECT_EQ(field(result, "end"),
            (std::vector<std::string>{"2024-05-07T11:00:00Z", "2024-05-07T14:00:00Z",
                                      "2024-05-07T14:00:00Z", "2024-05-07T15:00:00Z"}));
  EXPECT_EQ(field(ask(R"({"id":"1","command":"query","entity":"events",)"
                      R"("sourceIds":["cal-outlook"],"start":"9999-12-31T00:00:00Z",)"
                      R"("end":"9999-12-31T23:59:59Z"})"),
                  "id"),
            std::vector<std::string>{"far@9999-12-31T12:00:00Z"});

  result = ask(R"({"id":"1","command":"query","entity":"events","limit":2,)"
               R"("sourceIds":["cal-dense","cal-work"],"start":"2024-05-06T08:00:00Z",)"
               R"("end":"2024-05-06T08:02:00Z"})");
  EXPECT_EQ(field(result, "id"), (std::vector<std::string>{"dense@2024-05-06T08:00:00Z",
                                                           "evt-review@2024-05-06T08:00:00Z"}));
  EXPECT_EQ(result["truncated"], true);
  result = ask(std::string(R"({"id":"1","command":"query","entity":"events",)") +
               R"("sourceIds":["cal-dense"],)" + kMay + "}");
  ASSERT_EQ(result["items"].size(), 100u);
  EXPECT_EQ(result["items"][99]["id"], "dense@2024-05-01T01:39:00Z");
  EXPECT_EQ(result["truncated"], true);
  writer.removeSource("cal-outlook");
  writer.removeSource("cal-dense");
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

TEST_F(EdsStoreTest, DirectReadsWalkTheSameContactsInTheSameOrderAsReadsOverTheBus) {
  Writer writer;
  // Names that tie, differ only in case or accents, are missing, or are in other scripts.
  writer.addNamedContacts("book-personal", {{"o-2", "Ann", "Lee", ""},
                                            {"o-1", "Ann", "Lee", ""},
                                            {"o-3", "émile", "Zola", ""},
                                            {"o-4", "Emile", "zola", ""},
                                            {"o-5", "Ëve", "Äbel", ""},
                                            {"o-6", "Solo", "", ""},
                                            {"o-7", "", "", "Org Only"},
                                            {"o-8", "Пётр", "Иванов", ""},
                                            {"o-9", "太郎", "山田", ""},
                                            {"o-10", "", "'t Hooft", ""},
                                            {"o-11", "3M", "", "3M Co"},
                                            {"o-12", "ann", "lee", "Lee & Co"}});
  // EDS's own order (no family name first, case and accents after the letters, then the
  // UID), whichever way the book is read and however it is stepped.
  std::vector<std::string> overBus = walk("book-personal", false, 5);
  std::vector<std::string> uids;
  for (const std::string& row : overBus) uids.push_back(row.substr(0, row.find(' ')));
  EXPECT_EQ(uids, (std::vector<std::string>{"o-7", "c-acme", "o-11", "o-6", "o-10", "o-5", "c-jose",
                                            "o-12", "o-1", "o-2", "o-4", "o-3", "o-8", "o-9"}));
  EXPECT_EQ(walk("book-personal", true, 2000), overBus);
  EXPECT_EQ(walk("book-personal", true, 3), overBus);
  std::ifstream maps("/proc/self/maps");
  std::string mapped((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
  EXPECT_NE(mapped.find("libebookbackendfile"), std::string::npos) << "no direct read";
  EXPECT_EQ(walk("book-work", true, 2000), walk("book-work", false, 100));
}

TEST_F(EdsStoreTest, AWalkThatMeetsAChangeStepsOnOnceTheCursorIsRefreshed) {
  // Another client adds a contact that sorts last while the walk is in its first step:
  // the next step is out of sync, and after the refresh the walk goes on to the new one.
  // (The writer uses the walk's source: a second registry in this process, made while the
  // bridge's is in use, has been seen to come up without sources.)
  const std::size_t before = walk("book-work", false, 100).size();
  int added = 0;
  for (auto [direct, step] : {std::pair{false, 100}, std::pair{true, 2000}}) {
    std::vector<std::string> seen = walk("book-work", direct, step, [&](ESource* source) {
      std::thread([&] {
        EClient* writer =
            e_book_client_connect_sync(source, static_cast<guint32>(-1), nullptr, nullptr);
        EContact* contact = e_contact_new();
        std::string uid = "zzzz-late-" + std::to_string(added++);
        e_contact_set(contact, E_CONTACT_UID, uid.c_str());
        e_contact_set(contact, E_CONTACT_FAMILY_NAME, uid.c_str());
        EXPECT_TRUE(e_book_client_add_contact_sync(
            E_BOOK_CLIENT(writer), contact, E_BOOK_OPERATION_FLAG_NONE, nullptr, nullptr, nullptr));
        g_object_unref(contact);
        g_object_unref(writer);
      }).join();
    });
    EXPECT_EQ(seen.size(), before + added) << (direct ? "direct" : "over D-Bus");
    EXPECT_EQ(seen.back().substr(0, 10), "zzzz-late-");
  }
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

// A date alone, and a time without a zone, mean the user's day and time, while EDS's own
// due-date test reads a date in UTC: up to 14 hours away from the user's instant. Near the
// window's edges the query must still reach such tasks, and the stores keep exactly those
// due for the user inside the window. The session's zone (TZ) picks the row.
TEST(EdsFarZoneTest, TasksNearTheWindowsEdgesAreFoundAndCutExactly) {
  struct Case {
    const char* zone;
    const char* window;
    std::vector<std::string> expected;  // "id@due"
  } cases[] = {
      // UTC+14: 2 May is due at 10:00Z on 1 May, 23:30 on 1 May at 09:30Z; 1 May, which
      // EDS reads as inside the window, is the user's 30 April.
      {"Pacific/Kiritimati",
       R"("start":"2024-05-01T00:00:00Z","end":"2024-05-01T12:00:00Z")",
       {"floating@2024-05-01T09:30:00Z", "day@2024-05-01T10:00:00Z"}},
      // UTC-11: 1 May is due at 11:00Z, 00:30 on 1 May at 11:30Z; 2 May, which EDS reads as
      // inside the window, is due after its end.
      {"Pacific/Pago_Pago",
       R"("start":"2024-05-01T06:00:00Z","end":"2024-05-02T06:00:00Z")",
       {"day@2024-05-01T11:00:00Z", "floating@2024-05-01T11:30:00Z"}},
  };
  const char* zone = std::getenv("TZ");
  ASSERT_NE(zone, nullptr);
  platform::SystemClock clock;
  platform::EdsSystem system;
  PersonalStores stores(system);
  bool ran = false;
  for (const Case& c : cases) {
    if (std::string(zone) != c.zone) continue;
    ran = true;
    Json result = answerOf(stores, clock,
                           std::string(R"({"id":"1","command":"query","entity":"reminders",)") +
                               R"("sourceIds":["list-edge"],)" + c.window + "}");
    std::vector<std::string> got;
    for (const Json& item : result["items"]) {
      got.push_back(item["id"].get<std::string>() + "@" + item["due"].get<std::string>());
    }
    EXPECT_EQ(got, c.expected) << c.zone;
  }
  EXPECT_TRUE(ran) << "no case for the zone " << zone;
}

}  // namespace
}  // namespace pemrix
