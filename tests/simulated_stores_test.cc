// Tests of the simulator: what the simulated calendar and contact stores deliver
// (predicates, strays, order, time zones), the world's faults and delays on a manual
// clock, access requests, change notifications and the record of platform calls.
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

namespace pemrix::platform {
namespace {

using namespace std::chrono_literals;

Instant at(const char* text) {
  return parseDate(text).value();
}

World worldFrom(const char* json) {
  auto result = parseWorld(json);
  if (auto* problem = std::get_if<std::string>(&result)) ADD_FAILURE() << *problem;
  return std::holds_alternative<World>(result) ? std::get<World>(result) : World{};
}

// Waits (in real time) until `condition` holds; false after two seconds.
template <typename Condition>
bool eventually(Condition condition) {
  auto giveUp = std::chrono::steady_clock::now() + 2s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// A system over `json` on a manual clock that starts at 2024-05-01T00:00:00Z, with every
// call made of it recorded.
class SimulatedStoresTest : public ::testing::Test {
 protected:
  void start(const char* json) {
    system_ = std::make_unique<System>(worldFrom(json), *clock_, &recorder_);
  }
  void TearDown() override {
    if (system_) system_->close();
  }

  std::vector<std::string> eventIds(CalendarStore& store, const char* from, const char* to) {
    std::vector<std::string> ids;
    store.enumerateEvents(
        at(from), at(to), listed(store, CalendarEntityType::events),
        [&](const EventRecord& event, bool&) { ids.push_back(event.itemIdentifier); });
    return ids;
  }

  static std::vector<CalendarInfo> listed(CalendarStore& store, CalendarEntityType type) {
    std::vector<CalendarInfo> calendars;
    EXPECT_EQ(store.calendars(type, &calendars), std::nullopt);
    return calendars;
  }
  static std::vector<ContainerInfo> listed(ContactStore& store) {
    std::vector<ContainerInfo> containers;
    EXPECT_EQ(store.containers(&containers), std::nullopt);
    return containers;
  }

  std::optional<std::vector<ReminderRecord>> fetch(CalendarStore& store, const char* from,
                                                   const char* to) {
    std::promise<std::optional<std::vector<ReminderRecord>>> fetched;
    auto result = fetched.get_future();
    store.fetchIncompleteReminders(at(from), at(to), listed(store, CalendarEntityType::reminders),
                                   [&](PlatformStatus status, const ReminderWalk& reminders) {
                                     fetched.set_value(collected(status, reminders));
                                   });
    EXPECT_EQ(result.wait_for(2s), std::future_status::ready);
    return result.get();
  }

  // Every reminder of a fetch's walk; nothing for a failed fetch.
  static std::optional<std::vector<ReminderRecord>> collected(const PlatformStatus& status,
                                                              const ReminderWalk& reminders) {
    if (status) return std::nullopt;
    std::vector<ReminderRecord> all;
    if (reminders([&](const ReminderRecord& reminder, bool&) { all.push_back(reminder); })) {
      return std::nullopt;
    }
    return all;
  }

  std::unique_ptr<testing::ManualClock> clock_ =
      std::make_unique<testing::ManualClock>(at("2024-05-01T00:00:00Z"));
  testing::CallRecorder recorder_;  // outlives the system and its observer tokens
  std::unique_ptr<System> system_;
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
  CalendarStore store(*system_);
  std::vector<CalendarInfo> calendars = listed(store, CalendarEntityType::events);
  ASSERT_EQ(calendars.size(), 2u);
  EXPECT_EQ(calendars[0].identifier, "c1");
  EXPECT_EQ(calendars[1].identifier, "c2");

  std::vector<std::string> ids;
  store.enumerateEvents(
      at("2024-05-01T10:00:00Z"), at("2024-05-01T12:00:00Z"), {calendars[0]},
      [&](const EventRecord& event, bool&) { ids.push_back(event.itemIdentifier); });
  EXPECT_EQ(ids, (std::vector<std::string>{"late", "overlaps-start", "stray", "spans"}));
}

TEST_F(SimulatedStoresTest, EventEnumerationStopsAtTheStopFlag) {
  start(kEventWorld);
  CalendarStore store(*system_);
  int calls = 0;
  store.enumerateEvents(at("2024-04-01T00:00:00Z"), at("2024-06-01T00:00:00Z"),
                        listed(store, CalendarEntityType::events),
                        [&](const EventRecord&, bool& stop) { stop = ++calls == 2; });
  EXPECT_EQ(calls, 2);
}

TEST_F(SimulatedStoresTest, EventRecordsCarryTheWorldsValues) {
  start(R"({"calendars": [{"id": "c1"}],
            "events": [{"calendar": "c1", "id": "e", "title": "Lunch", "allDay": true,
                        "start": "2024-05-01T00:00:00Z", "end": "2024-05-02T00:00:00Z"}]})");
  CalendarStore store(*system_);
  std::vector<EventRecord> events;
  store.enumerateEvents(at("2024-05-01T00:00:00Z"), at("2024-05-01T01:00:00Z"),
                        listed(store, CalendarEntityType::events),
                        [&](const EventRecord& event, bool&) { events.push_back(event); });
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

// The predicate asks for the window widened by a day on each side: here [1 May, 2 May).
TEST_F(SimulatedStoresTest, RemindersDueInTheHalfOpenWindowComeOnAnotherThread) {
  start(kReminderWorld);
  CalendarStore store(*system_);
  std::vector<CalendarInfo> lists = listed(store, CalendarEntityType::reminders);
  ASSERT_EQ(lists.size(), 1u);
  std::promise<std::thread::id> thread;
  std::promise<std::optional<std::vector<ReminderRecord>>> fetched;
  store.fetchIncompleteReminders(at("2024-04-30T00:00:00Z"), at("2024-05-01T00:00:00Z"), lists,
                                 [&](PlatformStatus status, const ReminderWalk& reminders) {
                                   thread.set_value(std::this_thread::get_id());
                                   fetched.set_value(collected(status, reminders));
                                 });
  auto result = fetched.get_future();
  ASSERT_EQ(result.wait_for(2s), std::future_status::ready);
  EXPECT_NE(thread.get_future().get(), std::this_thread::get_id());
  auto reminders = result.get();
  ASSERT_TRUE(reminders.has_value());
  EXPECT_EQ(reminderIds(*reminders),
            (std::vector<std::string>{"at-start", "stray-done", "last-second"}));
  EXPECT_EQ(reminders->back().priority, 5);
  EXPECT_EQ(reminders->back().due, at("2024-05-01T23:59:59Z"));
}

TEST_F(SimulatedStoresTest, DateOnlyDueResolvesInTheWorldsZone) {
  start(R"({"timeZone": "Europe/Berlin",
            "calendars": [{"id": "l1", "entityType": "reminders"}],
            "reminders": [{"list": "l1", "id": "may-day", "due": {"year": 2024, "month": 5, "day": 1}}]})");
  CalendarStore store(*system_);
  auto fetched = fetch(store, "2024-04-30T22:00:00Z", "2024-04-30T22:00:01Z");
  EXPECT_EQ(reminderIds(*fetched), std::vector<std::string>{"may-day"});
  EXPECT_EQ(fetched->front().due, at("2024-04-30T22:00:00Z"));
  // The service keeps the day at midnight UTC: a window that starts more than a day later
  // does not reach it.
  EXPECT_TRUE(fetch(store, "2024-05-02T00:00:01Z", "2024-05-03T00:00:00Z")->empty());
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
  CalendarStore store(*system_);
  EXPECT_EQ(reminderIds(*fetch(store, "2024-04-30T17:00:00Z", "2024-05-01T00:00:01Z")),
            (std::vector<std::string>{"plain", "own"}));
  EXPECT_FALSE(std::holds_alternative<World>(parseWorld(R"({"calendar": "lunar"})")));
  EXPECT_FALSE(std::holds_alternative<World>(
      parseWorld(R"({"reminders": [{"id": "r", "due": {"calendar": "japanese"}}]})")));
}

// The walk converts reminders one at a time and ends at the stop flag.
TEST_F(SimulatedStoresTest, ReminderWalkStopsAtTheStopFlag) {
  start(kReminderWorld);
  CalendarStore store(*system_);
  std::promise<std::vector<std::string>> visited;
  store.fetchIncompleteReminders(at("2024-04-30T00:00:00Z"), at("2024-05-01T00:00:00Z"),
                                 listed(store, CalendarEntityType::reminders),
                                 [&](PlatformStatus, const ReminderWalk& reminders) {
                                   std::vector<std::string> ids;
                                   reminders([&](const ReminderRecord& reminder, bool& stop) {
                                     ids.push_back(reminder.itemIdentifier);
                                     stop = ids.size() == 2;
                                   });
                                   visited.set_value(ids);
                                 });
  auto result = visited.get_future();
  ASSERT_EQ(result.wait_for(2s), std::future_status::ready);
  EXPECT_EQ(result.get(), (std::vector<std::string>{"at-start", "stray-done"}));
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
  CalendarStore calendars(*system_);
  EXPECT_TRUE(listed(calendars, CalendarEntityType::events).empty());  // write-only
  EXPECT_TRUE(listed(calendars, CalendarEntityType::reminders).empty());
  int delivered = 0;
  calendars.enumerateEvents(at("2024-05-01T00:00:00Z"), at("2024-05-02T00:00:00Z"),
                            {{"c1", "", nullptr}}, [&](const EventRecord&, bool&) { ++delivered; });
  EXPECT_EQ(delivered, 0);
  EXPECT_TRUE(fetch(calendars, "2024-05-01T00:00:00Z", "2024-05-02T00:00:00Z")->empty());

  ContactStore contacts(*system_);  // limited access is readable
  EXPECT_EQ(listed(contacts).size(), 1u);
  system_->impl().setAuthorization(WorldEntity::contacts, Authorization::denied);
  EXPECT_TRUE(listed(contacts).empty());
  ContactFetchRequest request{{ContactKey::identifier}, "box", false, false};
  EXPECT_EQ(contacts.enumerateContacts(request, [&](const ContactRecord&, bool&) { ++delivered; }),
            std::nullopt);
  EXPECT_EQ(delivered, 0);
  EXPECT_EQ(ContactStore::authorization(*system_), Authorization::denied);
  EXPECT_EQ(CalendarStore::authorization(*system_, CalendarEntityType::events),
            Authorization::writeOnly);
}

TEST_F(SimulatedStoresTest, RevokeDuringDeniesAfterTheFirstListing) {
  start(R"({"calendars": [{"id": "c1"}], "containers": [{"id": "box"}],
            "faults": {"revokeDuring": ["events", "contacts"]}})");
  CalendarStore calendars(*system_);
  EXPECT_EQ(listed(calendars, CalendarEntityType::reminders).size(), 0u);
  EXPECT_EQ(system_->authorization(WorldEntity::reminders), Authorization::fullAccess);
  EXPECT_EQ(listed(calendars, CalendarEntityType::events).size(), 1u);
  EXPECT_EQ(system_->authorization(WorldEntity::events), Authorization::denied);
  // Only the first listing revokes.
  system_->impl().setAuthorization(WorldEntity::events, Authorization::fullAccess);
  EXPECT_EQ(listed(calendars, CalendarEntityType::events).size(), 1u);
  EXPECT_EQ(system_->authorization(WorldEntity::events), Authorization::fullAccess);

  ContactStore contacts(*system_);
  EXPECT_EQ(listed(contacts).size(), 1u);
  EXPECT_EQ(system_->authorization(WorldEntity::contacts), Authorization::denied);
}

TEST_F(SimulatedStoresTest, ContactFaultsAndFetchedKeys) {
  start(R"({"containers": [{"id": "good", "name": "Personal"}, {"id": "bad", "name": "Work"}],
            "contacts": [{"container": "good", "id": "p1", "givenName": "Zoë", "jobTitle": "Chef"},
                         {"container": "bad", "id": "p2"},
                         {"container": "good", "id": "p3", "familyName": "Madsen"}],
            "faults": {"contactsErrorIn": ["bad"]}})");
  ContactStore store(*system_);
  auto containers = listed(store);
  ASSERT_EQ(containers.size(), 2u);
  EXPECT_EQ(containers[1].name, "Work");

  std::vector<ContactRecord> seen;
  auto visit = [&](const ContactRecord& contact, bool&) { seen.push_back(contact); };
  ContactFetchRequest some{{ContactKey::identifier, ContactKey::givenName}, "good", false, false};
  EXPECT_EQ(store.enumerateContacts(some, visit), std::nullopt);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].givenName, "Zoë");
  EXPECT_EQ(seen[0].jobTitle, "");  // not asked for
  EXPECT_EQ(seen[1].identifier, "p3");

  seen.clear();
  ContactFetchRequest failing{{ContactKey::identifier}, "bad", false, false};
  EXPECT_TRUE(store.enumerateContacts(failing, visit).has_value());
  EXPECT_TRUE(seen.empty());

  testing::SystemRecord record = recorder_.record();
  ASSERT_EQ(record.contactFetches.size(), 2u);
  EXPECT_EQ(record.contactFetches[0].keysToFetch, some.keysToFetch);
  EXPECT_EQ(record.contactFetches[1].containerIdentifier, "bad");
  EXPECT_FALSE(record.contactFetches[1].unifyResults);
}

TEST_F(SimulatedStoresTest, ContainersErrorFailsTheListing) {
  start(R"({"containers": [{"id": "box"}], "faults": {"containersError": true}})");
  ContactStore store(*system_);
  std::vector<ContainerInfo> containers;
  EXPECT_TRUE(store.containers(&containers).has_value());
}

TEST_F(SimulatedStoresTest, ReminderFetchFaults) {
  start(R"({"calendars": [{"id": "l1", "entityType": "reminders"}],
            "faults": {"remindersFetchFails": true}})");
  CalendarStore store(*system_);
  EXPECT_EQ(fetch(store, "2024-05-01T00:00:00Z", "2024-05-02T00:00:00Z"), std::nullopt);
}

TEST_F(SimulatedStoresTest, ANeverCompletingFetchIsDroppedAtClose) {
  start(R"({"faults": {"remindersFetchNeverCompletes": true}})");
  CalendarStore store(*system_);
  auto alive = std::make_shared<int>(0);
  std::weak_ptr<int> watch = alive;
  std::atomic<bool> called{false};
  store.fetchIncompleteReminders(
      at("2024-05-01T00:00:00Z"), at("2024-05-02T00:00:00Z"), {},
      [&called, alive = std::move(alive)](auto, auto&) { called = true; });
  clock_->advance(3600);
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(called);
  EXPECT_FALSE(watch.expired());
  system_->close();
  EXPECT_TRUE(watch.expired());
  EXPECT_FALSE(called);
}

TEST_F(SimulatedStoresTest, AccessRequestTakesItsDelayOnVirtualTime) {
  start(R"({"authorization": {"events": 0},
            "accessRequests": {"events": {"status": 3, "delaySeconds": 5}}})");
  CalendarStore store(*system_);
  std::atomic<bool> called{false};
  std::atomic<bool> granted{false};
  std::promise<std::thread::id> thread;
  store.requestAccess(CalendarEntityType::events, [&](PlatformStatus status) {
    granted = !status;
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
  CalendarStore calendars(*system_);
  std::promise<bool> failed;
  calendars.requestAccess(CalendarEntityType::reminders,
                          [&](PlatformStatus status) { failed.set_value(status.has_value()); });
  EXPECT_TRUE(failed.get_future().get());
  EXPECT_EQ(system_->authorization(WorldEntity::reminders), Authorization::notDetermined);

  ContactStore contacts(*system_);
  std::promise<bool> failed2;
  contacts.requestAccess([&](PlatformStatus status) { failed2.set_value(status.has_value()); });
  EXPECT_FALSE(failed2.get_future().get());
  EXPECT_EQ(ContactStore::authorization(*system_), Authorization::limited);
}

TEST_F(SimulatedStoresTest, AnAccessRequestThatNeverCompletesStillChangesTheStatus) {
  start(R"({"authorization": {"contacts": 0},
            "accessRequests": {"contacts": {"status": 2, "completes": false}}})");
  ContactStore store(*system_);
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
  CalendarStore store(*system_);
  auto listing =
      std::async(std::launch::async, [&] { return listed(store, CalendarEntityType::events); });
  EXPECT_EQ(listing.wait_for(20ms), std::future_status::timeout);
  clock_->advance(3);
  ASSERT_EQ(listing.wait_for(2s), std::future_status::ready);
  std::vector<CalendarInfo> calendars = listing.get();
  ASSERT_EQ(calendars.size(), 1u);

  std::atomic<int> delivered{0};
  auto enumeration = std::async(std::launch::async, [&] {
    store.enumerateEvents(at("2024-05-01T00:00:00Z"), at("2024-05-02T00:00:00Z"), calendars,
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
  CalendarStore calendars(*system_);
  ContactStore contacts(*system_);
  std::atomic<int> calendarCalls{0};
  std::atomic<int> contactCalls{0};
  std::atomic<bool> otherThread{true};
  auto test = std::this_thread::get_id();
  ObserverToken calendarToken = calendars.observeChanges([&] {
    otherThread = otherThread && std::this_thread::get_id() != test;
    ++calendarCalls;
  });
  clock_->advance(10);
  ASSERT_TRUE(eventually([&] { return calendarCalls == 1; }));
  ObserverToken contactToken = contacts.observeChanges([&] { ++contactCalls; });
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

TEST_F(SimulatedStoresTest, ReleasingATokenWaitsForADeliveryInProgress) {
  start("{}");
  ContactStore store(*system_);
  std::atomic<bool> entered{false};
  std::atomic<bool> finished{false};
  auto token = std::make_unique<ObserverToken>(store.observeChanges([&] {
    entered = true;
    std::this_thread::sleep_for(50ms);
    finished = true;
  }));
  system_->impl().postChange(WorldChange::Store::contacts);
  ASSERT_TRUE(eventually([&] { return entered.load(); }));
  token.reset();
  EXPECT_TRUE(finished);
}

TEST_F(SimulatedStoresTest, RecordsEveryPlatformCallInOrder) {
  start(R"({"calendars": [{"id": "c1"}], "containers": [{"id": "box"}]})");
  CalendarStore calendars(*system_);
  auto ignoreAccess = [](PlatformStatus) {};
  calendars.requestAccess(CalendarEntityType::events, ignoreAccess);
  calendars.requestAccess(CalendarEntityType::reminders, ignoreAccess);
  eventIds(calendars, "2024-05-01T00:00:00Z", "2024-05-02T00:00:00Z");
  fetch(calendars, "2024-05-01T00:00:00Z", "2024-05-02T00:00:00Z");
  ContactStore contacts(*system_);
  contacts.requestAccess(ignoreAccess);
  listed(contacts);
  contacts.enumerateContacts({{ContactKey::identifier}, "box", false, false},
                             [](const ContactRecord&, bool&) {});
  testing::SystemRecord record = recorder_.record();
  EXPECT_EQ(record.calls, (std::vector<std::string>{
                              "calendarStoreCreated", "requestAccess(events)",
                              "requestAccess(reminders)", "calendars", "enumerateEvents",
                              "calendars", "fetchIncompleteReminders", "contactStoreCreated",
                              "requestAccess(contacts)", "containers", "enumerateContacts"}));
  EXPECT_EQ(record.eventStoresCreated, 1);
  EXPECT_EQ(record.contactStoresCreated, 1);
}

}  // namespace
}  // namespace pemrix::platform
