// Tests of the simulator: what the simulated calendar and contact stores deliver
// (windows, strays, order, time zones, gone sources), the world's faults and delays on a
// manual clock, access requests, change notifications and the record of platform calls.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <variant>

#include "platform/calendar_store.h"
#include "platform/contact_store.h"
#include "protocol/native_request.h"
#include "sim/due_date.h"
#include "sim/simulated_system.h"
#include "sim/simulated_system_impl.h"
#include "support/call_recorder.h"
#include "support/manual_clock.h"
#include "support/waiting.h"

namespace pemrix::platform {
namespace {

using namespace std::chrono_literals;

using testing::at;
using testing::eventually;

World worldFrom(const char* json) {
  auto result = parseWorld(json);
  if (auto* problem = std::get_if<std::string>(&result)) ADD_FAILURE() << *problem;
  return std::holds_alternative<World>(result) ? std::get<World>(result) : World{};
}

// A system over `json` on a manual clock that starts at 2024-05-01T00:00:00Z, with every
// call made of it recorded.
class SimulatedStoresTest : public ::testing::Test {
 protected:
  void start(const char* json) {
    system_ = std::make_unique<SimulatedSystem>(worldFrom(json), *clock_, &recorder_);
  }
  void TearDown() override {
    if (system_) system_->close();
  }

  // A store of the system, kept until the end of the test.
  CalendarStore& openCalendars() {
    std::unique_ptr<CalendarStore> store;
    EXPECT_TRUE(system_->openCalendarStore(&store).ok());
    calendarStores_.push_back(std::move(store));
    return *calendarStores_.back();
  }
  ContactStore& openContacts() {
    std::unique_ptr<ContactStore> store;
    EXPECT_TRUE(system_->openContactStore(&store).ok());
    contactStores_.push_back(std::move(store));
    return *contactStores_.back();
  }

  std::vector<std::string> eventIds(CalendarStore& store, const char* from, const char* to) {
    std::vector<std::string> ids;
    EXPECT_TRUE(store
                    .enumerateEvents(at(from), at(to), listedIds(store, CalendarEntityType::events),
                                     [&](const EventRecord& event, bool&) {
                                       ids.push_back(event.itemIdentifier);
                                     })
                    .ok());
    return ids;
  }

  static std::vector<CalendarInfo> listed(CalendarStore& store, CalendarEntityType type) {
    std::vector<CalendarInfo> calendars;
    EXPECT_TRUE(store.calendars(type, &calendars).ok());
    return calendars;
  }
  static std::vector<std::string> listedIds(CalendarStore& store, CalendarEntityType type) {
    std::vector<std::string> ids;
    for (const CalendarInfo& calendar : listed(store, type)) ids.push_back(calendar.identifier);
    return ids;
  }
  static std::vector<ContainerInfo> listed(ContactStore& store) {
    std::vector<ContainerInfo> containers;
    EXPECT_TRUE(store.containers(&containers).ok());
    return containers;
  }

  // The reminders of every listed list due in [from, to); nothing when the read failed.
  static std::optional<std::vector<ReminderRecord>> fetch(CalendarStore& store, const char* from,
                                                          const char* to) {
    std::vector<ReminderRecord> all;
    Status status = store.enumerateIncompleteReminders(
        at(from), at(to), listedIds(store, CalendarEntityType::reminders),
        [&](const ReminderRecord& reminder, bool&) { all.push_back(reminder); });
    if (!status.ok()) return std::nullopt;
    return all;
  }

  std::unique_ptr<testing::ManualClock> clock_ =
      std::make_unique<testing::ManualClock>(at("2024-05-01T00:00:00Z"));
  testing::CallRecorder recorder_;  // outlives the system and its observer tokens
  std::unique_ptr<SimulatedSystem> system_;
  std::vector<std::unique_ptr<CalendarStore>> calendarStores_;
  std::vector<std::unique_ptr<ContactStore>> contactStores_;
};

std::vector<std::string> reminderIds(const std::vector<ReminderRecord>& reminders) {
  std::vector<std::string> ids;
  for (const ReminderRecord& reminder : reminders) ids.push_back(reminder.itemIdentifier);
  return ids;
}

constexpr const char* kEventWorld = R"({
  "calendars": [{"id": "c1", "entityType": "events"}, {"id": "l1", "entityType": "reminders"},
                {"id": "c2", "entityType": "events"}],
  "events": [
    {"calendar": "c1", "id": "ends-at-start", "start": "2024-05-01T08:00:00Z",
     "end": "2024-05-01T10:00:00Z"},
    {"calendar": "c1", "id": "late", "start": "2024-05-01T11:00:00Z", "end": "2024-05-01T11:30:00Z"},
    {"calendar": "c1", "id": "overlaps-start", "start": "2024-05-01T09:00:00Z",
     "end": "2024-05-01T10:00:01Z"},
    {"calendar": "c1", "id": "starts-at-end", "start": "2024-05-01T12:00:00Z",
     "end": "2024-05-01T13:00:00Z"},
    {"calendar": "c2", "id": "other-calendar", "start": "2024-05-01T10:30:00Z",
     "end": "2024-05-01T10:45:00Z"},
    {"calendar": null, "id": "no-calendar", "start": "2024-05-01T10:30:00Z",
     "end": "2024-05-01T10:45:00Z"},
    {"calendar": "c1", "id": "no-end", "start": "2024-05-01T10:30:00Z"},
    {"calendar": "c9", "id": "stray", "start": null, "end": null, "stray": true},
    {"calendar": "c1", "id": "spans", "start": "2024-04-30T00:00:00Z", "end": "2024-05-02T00:00:00Z"}
  ]
})";

TEST_F(SimulatedStoresTest, EventsOverlappingTheWindowComeInWorldOrderWithStrays) {
  start(kEventWorld);
  CalendarStore& store = openCalendars();
  std::vector<CalendarInfo> calendars = listed(store, CalendarEntityType::events);
  ASSERT_EQ(calendars.size(), 2u);
  EXPECT_EQ(calendars[0].identifier, "c1");
  EXPECT_EQ(calendars[1].identifier, "c2");

  std::vector<std::string> ids;
  auto collect = [&](const EventRecord& event, bool&) { ids.push_back(event.itemIdentifier); };
  EXPECT_TRUE(store
                  .enumerateEvents(at("2024-05-01T10:00:00Z"), at("2024-05-01T12:00:00Z"),
                                   {calendars[0].identifier}, collect)
                  .ok());
  EXPECT_EQ(ids, (std::vector<std::string>{"late", "overlaps-start", "stray", "spans"}));
}

// A calendar the world does not have (or has as the other entity type) is gone.
TEST_F(SimulatedStoresTest, ReadsOfUnknownCalendarsFailAsGone) {
  start(kEventWorld);
  CalendarStore& store = openCalendars();
  auto ignore = [](const auto&, bool&) {};
  const Instant from = at("2024-05-01T00:00:00Z"), to = at("2024-05-02T00:00:00Z");
  EXPECT_TRUE(store.enumerateEvents(from, to, {"c1", "nowhere"}, ignore).isGone());
  EXPECT_TRUE(store.enumerateEvents(from, to, {"l1"}, ignore).isGone());
  EXPECT_TRUE(store.enumerateIncompleteReminders(from, to, {"c1"}, ignore).isGone());
  EXPECT_TRUE(store.enumerateIncompleteReminders(from, to, {"l1"}, ignore).ok());
}

TEST_F(SimulatedStoresTest, EventEnumerationStopsAtTheStopFlag) {
  start(kEventWorld);
  CalendarStore& store = openCalendars();
  int calls = 0;
  EXPECT_TRUE(store
                  .enumerateEvents(at("2024-04-01T00:00:00Z"), at("2024-06-01T00:00:00Z"),
                                   listedIds(store, CalendarEntityType::events),
                                   [&](const EventRecord&, bool& stop) { stop = ++calls == 2; })
                  .ok());
  EXPECT_EQ(calls, 2);
}

TEST_F(SimulatedStoresTest, EventRecordsCarryTheWorldsValues) {
  start(R"({"calendars": [{"id": "c1"}],
            "events": [{"calendar": "c1", "id": "e", "title": "Lunch", "allDay": true,
                        "start": "2024-05-01T00:00:00Z", "end": "2024-05-02T00:00:00Z"}]})");
  CalendarStore& store = openCalendars();
  std::vector<EventRecord> events;
  EXPECT_TRUE(
      store
          .enumerateEvents(at("2024-05-01T00:00:00Z"), at("2024-05-01T01:00:00Z"),
                           listedIds(store, CalendarEntityType::events),
                           [&](const EventRecord& event, bool&) { events.push_back(event); })
          .ok());
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].calendarIdentifier, "c1");
  EXPECT_EQ(events[0].title, "Lunch");
  EXPECT_TRUE(events[0].allDay);
  EXPECT_EQ(events[0].end, at("2024-05-02T00:00:00Z"));
}

constexpr const char* kReminderWorld = R"({
  "calendars": [{"id": "l1", "entityType": "reminders"}, {"id": "c1", "entityType": "events"}],
  "reminders": [
    {"list": "l1", "id": "at-end", "due": {"year": 2024, "month": 5, "day": 2}},
    {"list": "l1", "id": "at-start", "due": {"year": 2024, "month": 5, "day": 1}},
    {"list": "l1", "id": "done", "completed": true, "due": {"year": 2024, "month": 5, "day": 1, "hour": 3}},
    {"list": "l1", "id": "no-due"},
    {"list": "l1", "id": "no-day", "due": {"year": 2024, "month": 5}},
    {"list": "c1", "id": "other-list", "due": {"year": 2024, "month": 5, "day": 1, "hour": 4}},
    {"list": null, "id": "stray-done", "completed": true, "stray": true},
    {"list": "l1", "id": "last-second", "due": {"year": 2024, "month": 5, "day": 1, "hour": 23,
                                               "minute": 59, "second": 59}, "priority": 5}
  ]
})";

// Exactly the incomplete reminders of the selected lists due in [start, end), on the
// calling thread, with the strays the service delivers whatever the request.
TEST_F(SimulatedStoresTest, RemindersDueInTheHalfOpenWindowComeInWorldOrder) {
  start(kReminderWorld);
  CalendarStore& store = openCalendars();
  ASSERT_EQ(listed(store, CalendarEntityType::reminders).size(), 1u);
  auto reminders = fetch(store, "2024-05-01T00:00:00Z", "2024-05-02T00:00:00Z");
  ASSERT_TRUE(reminders.has_value());
  EXPECT_EQ(reminderIds(*reminders),
            (std::vector<std::string>{"at-start", "stray-done", "last-second"}));
  EXPECT_EQ(reminders->back().priority, 5);
  EXPECT_EQ(reminders->back().due, at("2024-05-01T23:59:59Z"));
}

// The service stores due dates as Gregorian components: a user whose system shows another
// calendar still has "2024" read as the Gregorian year, in the system's zone. Components that
// carry a calendar of their own are read in it.
TEST_F(SimulatedStoresTest, DueDatesAreGregorianWhateverTheSystemCalendar) {
  start(R"({"timeZone": "Asia/Bangkok", "calendar": "buddhist",
            "calendars": [{"id": "l1", "entityType": "reminders"}],
            "reminders": [{"list": "l1", "id": "plain", "due": {"year": 2024, "month": 5, "day": 1}},
                          {"list": "l1", "id": "own", "due": {"year": 2567, "month": 5, "day": 1,
                                                              "hour": 7, "calendar": "buddhist"}}]})");
  CalendarStore& store = openCalendars();
  EXPECT_EQ(reminderIds(*fetch(store, "2024-04-30T17:00:00Z", "2024-05-01T00:00:01Z")),
            (std::vector<std::string>{"plain", "own"}));
  EXPECT_FALSE(std::holds_alternative<World>(parseWorld(R"({"calendar": "lunar"})")));
  EXPECT_FALSE(std::holds_alternative<World>(
      parseWorld(R"({"reminders": [{"id": "r", "due": {"calendar": "japanese"}}]})")));
}

// The read ends at the stop flag.
TEST_F(SimulatedStoresTest, ReminderReadStopsAtTheStopFlag) {
  start(kReminderWorld);
  CalendarStore& store = openCalendars();
  std::vector<std::string> ids;
  EXPECT_TRUE(store
                  .enumerateIncompleteReminders(at("2024-05-01T00:00:00Z"),
                                                at("2024-05-02T00:00:00Z"),
                                                listedIds(store, CalendarEntityType::reminders),
                                                [&](const ReminderRecord& reminder, bool& stop) {
                                                  ids.push_back(reminder.itemIdentifier);
                                                  stop = ids.size() == 2;
                                                })
                  .ok());
  EXPECT_EQ(ids, (std::vector<std::string>{"at-start", "stray-done"}));
}

struct Resolution {
  WorldDue due;
  std::optional<const char*> expected;
};

TEST(DueDateTest, ComponentsResolveLikeTheCalendarService) {
  const Resolution cases[] = {
      // A time of day is read in the components' own zone; a date alone is the user's day.
      {{2024, 5, 1, 0, {}, {}, "UTC", {}}, "2024-05-01T00:00:00Z"},
      {{2024, 5, 1, {}, {}, {}, "UTC", {}}, "2024-05-01T04:00:00Z"},
      {{2024, 5, 1, 9, 30, {}, "Asia/Tokyo", {}}, "2024-05-01T00:30:00Z"},
      {{2024, 1, 15, 12, {}, {}, {}, {}}, "2024-01-15T17:00:00Z"},
      // Out-of-range fields roll over.
      {{2024, 13, 1, 0, {}, {}, "UTC", {}}, "2025-01-01T00:00:00Z"},
      {{2024, 3, 0, 0, {}, {}, "UTC", {}}, "2024-02-29T00:00:00Z"},
      {{2024, 0, 1, 25, 61, 61, "UTC", {}}, "2023-12-02T02:02:01Z"},
      // A local time skipped by the spring change takes the earlier offset.
      {{2024, 3, 10, 2, 30, {}, {}, {}}, "2024-03-10T07:30:00Z"},
      // Missing date parts, unknown zones and absurd years give nothing.
      {{2024, 5, {}, 9, {}, {}, {}, {}}, std::nullopt},
      {{{}, 5, 1, {}, {}, {}, {}, {}}, std::nullopt},
      {{2024, {}, 1, {}, {}, {}, {}, {}}, std::nullopt},
      {{2024, 5, 1, 9, {}, {}, "Nowhere/City", {}}, std::nullopt},
      {{INT64_MAX, 5, 1, {}, {}, {}, {}, {}}, std::nullopt},
      {{2024, 5, INT64_MIN, {}, {}, {}, {}, {}}, std::nullopt},
      // Only the Gregorian and Buddhist calendars are simulated.
      {{2024, 5, 1, {}, {}, {}, {}, "gregorian"}, "2024-05-01T04:00:00Z"},
      {{2567, 5, 1, {}, {}, {}, {}, "buddhist"}, "2024-05-01T04:00:00Z"},
      {{2024, 5, 1, {}, {}, {}, {}, "coptic"}, std::nullopt},
  };
  for (const Resolution& resolution : cases) {
    std::optional<Instant> expected;
    if (resolution.expected) expected = at(*resolution.expected);
    EXPECT_EQ(resolveDueDate(resolution.due, "America/New_York"), expected)
        << resolution.expected.value_or("nothing");
  }
}

TEST_F(SimulatedStoresTest, NothingIsServedWithoutReadableAccess) {
  start(R"({"authorization": {"events": 4, "reminders": 2, "contacts": 4},
            "calendars": [{"id": "c1"}, {"id": "l1", "entityType": "reminders"}],
            "events": [{"calendar": "c1", "id": "e", "stray": true}],
            "reminders": [{"id": "r", "stray": true}],
            "containers": [{"id": "box"}], "contacts": [{"container": "box", "id": "p"}]})");
  // Listing without access is the conformance suite's; here, reads deliver nothing either.
  CalendarStore& calendars = openCalendars();
  int delivered = 0;
  EXPECT_TRUE(calendars
                  .enumerateEvents(at("2024-05-01T00:00:00Z"), at("2024-05-02T00:00:00Z"), {"c1"},
                                   [&](const EventRecord&, bool&) { ++delivered; })
                  .ok());
  EXPECT_EQ(delivered, 0);
  EXPECT_TRUE(fetch(calendars, "2024-05-01T00:00:00Z", "2024-05-02T00:00:00Z")->empty());

  ContactStore& contacts = openContacts();
  system_->impl().setAuthorization(WorldEntity::contacts, Authorization::denied);
  EXPECT_TRUE(
      contacts.enumerateContacts("box", [&](const ContactRecord&, bool&) { ++delivered; }).ok());
  EXPECT_EQ(delivered, 0);
}

TEST_F(SimulatedStoresTest, RevokeDuringDeniesAfterTheFirstListing) {
  start(R"({"calendars": [{"id": "c1"}], "containers": [{"id": "box"}],
            "faults": {"revokeDuring": ["events", "contacts"]}})");
  CalendarStore& calendars = openCalendars();
  EXPECT_EQ(listed(calendars, CalendarEntityType::reminders).size(), 0u);
  EXPECT_EQ(system_->authorization(WorldEntity::reminders), Authorization::fullAccess);
  EXPECT_EQ(listed(calendars, CalendarEntityType::events).size(), 1u);
  EXPECT_EQ(system_->authorization(WorldEntity::events), Authorization::denied);
  // Only the first listing revokes.
  system_->impl().setAuthorization(WorldEntity::events, Authorization::fullAccess);
  EXPECT_EQ(listed(calendars, CalendarEntityType::events).size(), 1u);
  EXPECT_EQ(system_->authorization(WorldEntity::events), Authorization::fullAccess);

  ContactStore& contacts = openContacts();
  EXPECT_EQ(listed(contacts).size(), 1u);
  EXPECT_EQ(system_->authorization(WorldEntity::contacts), Authorization::denied);
}

TEST_F(SimulatedStoresTest, ContactsFaultsGoneContainersAndTheRecord) {
  start(R"({"containers": [{"id": "good", "name": "Personal"}, {"id": "bad", "name": "Work"}],
            "contacts": [{"container": "good", "id": "p1", "givenName": "Zoë", "jobTitle": "Chef"},
                         {"container": "bad", "id": "p2"},
                         {"container": "good", "id": "p3", "familyName": "Madsen",
                          "organizationName": "Acme"}],
            "faults": {"contactsErrorIn": ["bad"]}})");
  ContactStore& store = openContacts();
  auto containers = listed(store);
  ASSERT_EQ(containers.size(), 2u);
  EXPECT_EQ(containers[1].name, "Work");

  std::vector<ContactRecord> seen;
  auto visit = [&](const ContactRecord& contact, bool&) { seen.push_back(contact); };
  EXPECT_TRUE(store.enumerateContacts("good", visit).ok());
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].givenName, "Zoë");
  EXPECT_EQ(seen[0].jobTitle, "Chef");
  EXPECT_EQ(seen[1].identifier, "p3");
  EXPECT_EQ(seen[1].familyName, "Madsen");
  EXPECT_EQ(seen[1].organizationName, "Acme");

  seen.clear();
  Status failing = store.enumerateContacts("bad", visit);
  EXPECT_TRUE(failing.isUnavailable());
  EXPECT_FALSE(failing.isGone());
  EXPECT_TRUE(store.enumerateContacts("nowhere", visit).isGone());
  EXPECT_TRUE(seen.empty());

  EXPECT_EQ(recorder_.record().contactFetches,
            (std::vector<std::string>{"good", "bad", "nowhere"}));
}

TEST_F(SimulatedStoresTest, ContainersErrorFailsTheListing) {
  start(R"({"containers": [{"id": "box"}], "faults": {"containersError": true}})");
  ContactStore& store = openContacts();
  std::vector<ContainerInfo> containers;
  EXPECT_TRUE(store.containers(&containers).isUnavailable());
}

TEST_F(SimulatedStoresTest, ReminderFetchFaults) {
  start(R"({"calendars": [{"id": "l1", "entityType": "reminders"}],
            "faults": {"remindersFetchFails": true}})");
  CalendarStore& store = openCalendars();
  Status status = store.enumerateIncompleteReminders(
      at("2024-05-01T00:00:00Z"), at("2024-05-02T00:00:00Z"), {"l1"},
      [](const ReminderRecord&, bool&) { ADD_FAILURE() << "a failed fetch delivers nothing"; });
  EXPECT_TRUE(status.isNoResult());
  EXPECT_TRUE(status.isUnavailable());
}

TEST_F(SimulatedStoresTest, ANeverCompletingFetchWaitsUntilClose) {
  start(R"({"calendars": [{"id": "l1", "entityType": "reminders"}],
            "faults": {"remindersFetchNeverCompletes": true}})");
  CalendarStore& store = openCalendars();
  auto fetching = std::async(std::launch::async, [&] {
    return store.enumerateIncompleteReminders(at("2024-05-01T00:00:00Z"),
                                              at("2024-05-02T00:00:00Z"), {"l1"},
                                              [](const ReminderRecord&, bool&) {});
  });
  clock_->advance(3600);
  EXPECT_EQ(fetching.wait_for(20ms), std::future_status::timeout);
  system_->close();
  ASSERT_EQ(fetching.wait_for(2s), std::future_status::ready);
  EXPECT_TRUE(fetching.get().isUnavailable());
}

TEST_F(SimulatedStoresTest, AccessRequestTakesItsDelayOnVirtualTime) {
  start(R"({"authorization": {"events": 0},
            "accessRequests": {"events": {"status": 3, "delaySeconds": 5}}})");
  CalendarStore& store = openCalendars();
  std::atomic<bool> called{false};
  std::atomic<bool> granted{false};
  std::promise<std::thread::id> thread;
  store.requestAccess(CalendarEntityType::events, [&](Status status) {
    granted = status.ok();
    thread.set_value(std::this_thread::get_id());
    called = true;
  });
  clock_->advance(4.5);
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(called);
  EXPECT_EQ(system_->authorization(WorldEntity::events), Authorization::notDetermined);
  clock_->advance(0.5);
  ASSERT_TRUE(eventually([&] { return called.load(); }));
  EXPECT_TRUE(granted);
  EXPECT_NE(thread.get_future().get(), std::this_thread::get_id());
  EXPECT_EQ(system_->authorization(WorldEntity::events), Authorization::fullAccess);
}

TEST_F(SimulatedStoresTest, AccessRequestErrorsAndRefusals) {
  start(R"({"authorization": {"reminders": 0, "contacts": 0},
            "accessRequests": {"reminders": {"status": null, "error": true},
                               "contacts": {"status": 4}}})");
  CalendarStore& calendars = openCalendars();
  std::promise<bool> failed;
  calendars.requestAccess(CalendarEntityType::reminders,
                          [&](Status status) { failed.set_value(!status.ok()); });
  EXPECT_TRUE(failed.get_future().get());
  EXPECT_EQ(system_->authorization(WorldEntity::reminders), Authorization::notDetermined);

  ContactStore& contacts = openContacts();
  std::promise<bool> failed2;
  contacts.requestAccess([&](Status status) { failed2.set_value(!status.ok()); });
  EXPECT_FALSE(failed2.get_future().get());
  EXPECT_EQ(system_->contactAuthorization(), Authorization::limited);
}

TEST_F(SimulatedStoresTest, AnAccessRequestThatNeverCompletesStillChangesTheStatus) {
  start(R"({"authorization": {"contacts": 0},
            "accessRequests": {"contacts": {"status": 2, "completes": false}}})");
  ContactStore& store = openContacts();
  auto alive = std::make_shared<int>(0);
  std::weak_ptr<int> watch = alive;
  std::atomic<bool> called{false};
  store.requestAccess([&called, alive = std::move(alive)](auto) { called = true; });
  ASSERT_TRUE(eventually(
      [&] { return system_->authorization(WorldEntity::contacts) == Authorization::denied; }));
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(called);
  system_->close();
  EXPECT_TRUE(watch.expired());
  EXPECT_FALSE(called);
}

TEST_F(SimulatedStoresTest, DelaysWaitForTheClockAndEndAtClose) {
  start(R"({"calendars": [{"id": "c1"}],
            "events": [{"calendar": "c1", "id": "a", "stray": true},
                       {"calendar": "c1", "id": "b", "stray": true}],
            "faults": {"delaySeconds": {"calendars": 3}, "itemDelaySeconds": 1}})");
  CalendarStore& store = openCalendars();
  auto listing =
      std::async(std::launch::async, [&] { return listed(store, CalendarEntityType::events); });
  EXPECT_EQ(listing.wait_for(20ms), std::future_status::timeout);
  clock_->advance(3);
  ASSERT_EQ(listing.wait_for(2s), std::future_status::ready);
  std::vector<CalendarInfo> calendars = listing.get();
  ASSERT_EQ(calendars.size(), 1u);

  std::atomic<int> delivered{0};
  auto enumeration = std::async(std::launch::async, [&] {
    return store.enumerateEvents(at("2024-05-01T00:00:00Z"), at("2024-05-02T00:00:00Z"),
                                 {calendars[0].identifier},
                                 [&](const EventRecord&, bool&) { ++delivered; });
  });
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(delivered, 0);
  clock_->advance(1);
  ASSERT_TRUE(eventually([&] { return delivered == 1; }));
  system_->close();  // abandons the second item's delay
  ASSERT_EQ(enumeration.wait_for(2s), std::future_status::ready);
  EXPECT_EQ(delivered, 1);
}

TEST_F(SimulatedStoresTest, ChangesReachOnlyObserversRegisteredAtThatMoment) {
  start(R"({"faults": {"changes": [{"afterSeconds": 10, "store": "events"},
                                   {"afterSeconds": 20, "store": "contacts"},
                                   {"afterSeconds": 30, "store": "contacts"}]}})");
  CalendarStore& calendars = openCalendars();
  ContactStore& contacts = openContacts();
  std::atomic<int> calendarCalls{0};
  std::atomic<int> contactCalls{0};
  std::atomic<bool> otherThread{true};
  auto test = std::this_thread::get_id();
  ObserverToken calendarToken;
  ASSERT_TRUE(calendars
                  .observeChanges(
                      [&] {
                        otherThread = otherThread && std::this_thread::get_id() != test;
                        ++calendarCalls;
                      },
                      &calendarToken)
                  .ok());
  clock_->advance(10);
  ASSERT_TRUE(eventually([&] { return calendarCalls == 1; }));
  ObserverToken contactToken;
  ASSERT_TRUE(contacts.observeChanges([&] { ++contactCalls; }, &contactToken).ok());
  clock_->advance(10);
  ASSERT_TRUE(eventually([&] { return contactCalls == 1; }));
  contactToken = ObserverToken();  // released before the second contacts change
  clock_->advance(10);
  system_->impl().postChange(WorldChange::Store::events);
  ASSERT_TRUE(eventually([&] { return calendarCalls == 2; }));
  calendarToken = ObserverToken();
  system_->impl().postChange(WorldChange::Store::events);
  system_->close();  // joins the notification threads
  EXPECT_EQ(calendarCalls, 2);
  EXPECT_EQ(contactCalls, 1);
  EXPECT_TRUE(otherThread);
  EXPECT_EQ(recorder_.record().observersAdded, 2);
  EXPECT_EQ(recorder_.record().observersRemoved, 2);
}

TEST_F(SimulatedStoresTest, RecordsEveryPlatformCallInOrder) {
  start(R"({"calendars": [{"id": "c1"}], "containers": [{"id": "box"}]})");
  CalendarStore& calendars = openCalendars();
  auto ignoreAccess = [](Status) {};
  calendars.requestAccess(CalendarEntityType::events, ignoreAccess);
  calendars.requestAccess(CalendarEntityType::reminders, ignoreAccess);
  eventIds(calendars, "2024-05-01T00:00:00Z", "2024-05-02T00:00:00Z");
  fetch(calendars, "2024-05-01T00:00:00Z", "2024-05-02T00:00:00Z");
  ContactStore& contacts = openContacts();
  contacts.requestAccess(ignoreAccess);
  listed(contacts);
  EXPECT_TRUE(contacts.enumerateContacts("box", [](const ContactRecord&, bool&) {}).ok());
  testing::SystemRecord record = recorder_.record();
  EXPECT_EQ(record.calls, (std::vector<std::string>{
                              "calendarStoreCreated", "requestAccess(events)",
                              "requestAccess(reminders)", "calendars", "enumerateEvents",
                              "calendars", "enumerateIncompleteReminders", "contactStoreCreated",
                              "requestAccess(contacts)", "containers", "enumerateContacts"}));
  EXPECT_EQ(record.eventStoresCreated, 1);
  EXPECT_EQ(record.contactStoresCreated, 1);
}

}  // namespace
}  // namespace pemrix::platform
