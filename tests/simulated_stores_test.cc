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
#include "platform/system.h"
#include "protocol/native_request.h"

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

// A system over `json` on a manual clock that starts at 2024-05-01T00:00:00Z.
class SimulatedStoresTest : public ::testing::Test {
 protected:
  void start(const char* json) {
    system_ = std::make_unique<System>(worldFrom(json), *clock_);
    system_->recordCalls(true);
  }
  void TearDown() override {
    if (system_) system_->close();
  }

  std::vector<std::string> eventIds(CalendarStore& store, const char* from, const char* to) {
    std::vector<std::string> ids;
    store.enumerateEvents(
        at(from), at(to), store.calendars(CalendarEntityType::events),
        [&](const EventRecord& event, bool&) { ids.push_back(event.itemIdentifier); });
    return ids;
  }

  std::optional<std::vector<ReminderRecord>> fetch(CalendarStore& store, const char* from,
                                                   const char* to) {
    std::promise<std::optional<std::vector<ReminderRecord>>> fetched;
    auto result = fetched.get_future();
    store.fetchIncompleteReminders(
        at(from), at(to), store.calendars(CalendarEntityType::reminders),
        [&](const ReminderWalk* reminders) { fetched.set_value(collected(reminders)); });
    EXPECT_EQ(result.wait_for(2s), std::future_status::ready);
    return result.get();
  }

  // Every reminder of a fetch's walk; nothing for a failed fetch.
  static std::optional<std::vector<ReminderRecord>> collected(const ReminderWalk* reminders) {
    if (reminders == nullptr) return std::nullopt;
    std::vector<ReminderRecord> all;
    (*reminders)([&](const ReminderRecord& reminder, bool&) { all.push_back(reminder); });
    return all;
  }

  std::unique_ptr<SimClock> clock_ = SimClock::manual(at("2024-05-01T00:00:00Z"));
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
  std::vector<CalendarInfo> calendars = store.calendars(CalendarEntityType::events);
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
                        store.calendars(CalendarEntityType::events),
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
                        store.calendars(CalendarEntityType::events),
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

TEST_F(SimulatedStoresTest, RemindersDueInTheHalfOpenWindowComeOnAnotherThread) {
  start(kReminderWorld);
  CalendarStore store(*system_);
  std::vector<CalendarInfo> lists = store.calendars(CalendarEntityType::reminders);
  ASSERT_EQ(lists.size(), 1u);
  std::promise<std::thread::id> thread;
  std::promise<std::optional<std::vector<ReminderRecord>>> fetched;
  store.fetchIncompleteReminders(at("2024-05-01T00:00:00Z"), at("2024-05-02T00:00:00Z"), lists,
                                 [&](const ReminderWalk* reminders) {
                                   thread.set_value(std::this_thread::get_id());
                                   fetched.set_value(collected(reminders));
                                 });
  auto result = fetched.get_future();
  ASSERT_EQ(result.wait_for(2s), std::future_status::ready);
  EXPECT_NE(thread.get_future().get(), std::this_thread::get_id());
  auto reminders = result.get();
  ASSERT_TRUE(reminders.has_value());
  EXPECT_EQ(reminderIds(*reminders),
            (std::vector<std::string>{"at-start", "stray-done", "last-second"}));
  EXPECT_EQ(reminders->back().priority, 5);
  EXPECT_EQ(reminders->back().due->hour, 23);
}

TEST_F(SimulatedStoresTest, DateOnlyDueResolvesInTheWorldsZone) {
  start(R"({"timeZone": "Europe/Berlin",
            "calendars": [{"id": "l1", "entityType": "reminders"}],
            "reminders": [{"list": "l1", "id": "may-day", "due": {"year": 2024, "month": 5, "day": 1}}]})");
  DateComponents day{2024, 5, 1, {}, {}, {}, {}, nullptr};
  EXPECT_EQ(CalendarStore::dateFromComponents(*system_, day), at("2024-04-30T22:00:00Z"));
  CalendarStore store(*system_);
  EXPECT_EQ(reminderIds(*fetch(store, "2024-04-30T22:00:00Z", "2024-04-30T22:00:01Z")),
            std::vector<std::string>{"may-day"});
  EXPECT_TRUE(fetch(store, "2024-05-01T00:00:00Z", "2024-05-02T00:00:00Z")->empty());
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
  DateComponents gregorian{2024, 5, 1, {}, {}, {}, {}, nullptr, "gregorian"};
  EXPECT_EQ(CalendarStore::dateFromComponents(*system_, gregorian), at("2024-04-30T17:00:00Z"));
  DateComponents unknown{2024, 5, 1, {}, {}, {}, {}, nullptr, "coptic"};
  EXPECT_EQ(CalendarStore::dateFromComponents(*system_, unknown), std::nullopt);
  EXPECT_FALSE(std::holds_alternative<World>(parseWorld(R"({"calendar": "lunar"})")));
  EXPECT_FALSE(std::holds_alternative<World>(
      parseWorld(R"({"reminders": [{"id": "r", "due": {"calendar": "japanese"}}]})")));
}

// The walk converts reminders one at a time and ends at the stop flag.
TEST_F(SimulatedStoresTest, ReminderWalkStopsAtTheStopFlag) {
  start(kReminderWorld);
  CalendarStore store(*system_);
  std::promise<std::vector<std::string>> visited;
  store.fetchIncompleteReminders(at("2024-05-01T00:00:00Z"), at("2024-05-02T00:00:00Z"),
                                 store.calendars(CalendarEntityType::reminders),
                                 [&](const ReminderWalk* reminders) {
                                   std::vector<std::string> ids;
                                   (*reminders)([&](const ReminderRecord& reminder, bool& stop) {
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
  DateComponents due;
  std::optional<const char*> expected;
};

TEST_F(SimulatedStoresTest, ComponentsResolveLikeTheCalendarService) {
  start(R"({"timeZone": "America/New_York"})");
  const Resolution cases[] = {
      // The components' own zone wins over the world's.
      {{2024, 5, 1, {}, {}, {}, "UTC", nullptr}, "2024-05-01T00:00:00Z"},
      {{2024, 5, 1, 9, 30, {}, "Asia/Tokyo", nullptr}, "2024-05-01T00:30:00Z"},
      {{2024, 1, 15, 12, {}, {}, {}, nullptr}, "2024-01-15T17:00:00Z"},
      // Out-of-range fields roll over.
      {{2024, 13, 1, {}, {}, {}, "UTC", nullptr}, "2025-01-01T00:00:00Z"},
      {{2024, 3, 0, {}, {}, {}, "UTC", nullptr}, "2024-02-29T00:00:00Z"},
      {{2024, 0, 1, 25, 61, 61, "UTC", nullptr}, "2023-12-02T02:02:01Z"},
      // A local time skipped by the spring change takes the earlier offset.
      {{2024, 3, 10, 2, 30, {}, {}, nullptr}, "2024-03-10T07:30:00Z"},
      // Missing date parts, unknown zones and absurd years give nothing.
      {{2024, 5, {}, 9, {}, {}, {}, nullptr}, std::nullopt},
      {{{}, 5, 1, {}, {}, {}, {}, nullptr}, std::nullopt},
      {{2024, {}, 1, {}, {}, {}, {}, nullptr}, std::nullopt},
      {{2024, 5, 1, {}, {}, {}, "Nowhere/City", nullptr}, std::nullopt},
      {{INT64_MAX, 5, 1, {}, {}, {}, {}, nullptr}, std::nullopt},
      {{2024, 5, INT64_MIN, {}, {}, {}, {}, nullptr}, std::nullopt},
  };
  for (const Resolution& resolution : cases) {
    std::optional<Instant> expected;
    if (resolution.expected) expected = at(*resolution.expected);
    EXPECT_EQ(CalendarStore::dateFromComponents(*system_, resolution.due), expected)
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
  EXPECT_TRUE(calendars.calendars(CalendarEntityType::events).empty());  // write-only
  EXPECT_TRUE(calendars.calendars(CalendarEntityType::reminders).empty());
  int delivered = 0;
  calendars.enumerateEvents(at("2024-05-01T00:00:00Z"), at("2024-05-02T00:00:00Z"),
                            {{"c1", "", nullptr}}, [&](const EventRecord&, bool&) { ++delivered; });
  EXPECT_EQ(delivered, 0);
  EXPECT_TRUE(fetch(calendars, "2024-05-01T00:00:00Z", "2024-05-02T00:00:00Z")->empty());

  ContactStore contacts(*system_);  // limited access is readable
  EXPECT_EQ(std::get<std::vector<ContainerInfo>>(contacts.containers()).size(), 1u);
  system_->setAuthorization(WorldEntity::contacts, 2);
  EXPECT_TRUE(std::get<std::vector<ContainerInfo>>(contacts.containers()).empty());
  ContactFetchRequest request{{ContactKey::identifier}, "box", false, false};
  EXPECT_EQ(contacts.enumerateContacts(request, [&](const ContactRecord&, bool&) { ++delivered; }),
            std::nullopt);
  EXPECT_EQ(delivered, 0);
  EXPECT_EQ(ContactStore::authorizationStatus(*system_), 2);
  EXPECT_EQ(CalendarStore::authorizationStatus(*system_, CalendarEntityType::events), 4);
}

TEST_F(SimulatedStoresTest, RevokeDuringDeniesAfterTheFirstListing) {
  start(R"({"calendars": [{"id": "c1"}], "containers": [{"id": "box"}],
            "faults": {"revokeDuring": ["events", "contacts"]}})");
  CalendarStore calendars(*system_);
  EXPECT_EQ(calendars.calendars(CalendarEntityType::reminders).size(), 0u);
  EXPECT_EQ(system_->authorization(WorldEntity::reminders), 3);
  EXPECT_EQ(calendars.calendars(CalendarEntityType::events).size(), 1u);
  EXPECT_EQ(system_->authorization(WorldEntity::events), 2);
  system_->setAuthorization(WorldEntity::events, 3);  // only the first listing revokes
  EXPECT_EQ(calendars.calendars(CalendarEntityType::events).size(), 1u);
  EXPECT_EQ(system_->authorization(WorldEntity::events), 3);

  ContactStore contacts(*system_);
  EXPECT_EQ(std::get<std::vector<ContainerInfo>>(contacts.containers()).size(), 1u);
  EXPECT_EQ(system_->authorization(WorldEntity::contacts), 2);
}

TEST_F(SimulatedStoresTest, ContactFaultsAndFetchedKeys) {
  start(R"({"containers": [{"id": "good", "name": "Personal"}, {"id": "bad", "name": "Work"}],
            "contacts": [{"container": "good", "id": "p1", "givenName": "Zoë", "jobTitle": "Chef"},
                         {"container": "bad", "id": "p2"},
                         {"container": "good", "id": "p3", "familyName": "Madsen"}],
            "faults": {"contactsErrorIn": ["bad"]}})");
  ContactStore store(*system_);
  auto containers = std::get<std::vector<ContainerInfo>>(store.containers());
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

  System::Record record = system_->record();
  ASSERT_EQ(record.contactFetches.size(), 2u);
  EXPECT_EQ(record.contactFetches[0].keysToFetch, some.keysToFetch);
  EXPECT_EQ(record.contactFetches[1].containerIdentifier, "bad");
  EXPECT_FALSE(record.contactFetches[1].unifyResults);
}

TEST_F(SimulatedStoresTest, ContainersErrorFailsTheListing) {
  start(R"({"containers": [{"id": "box"}], "faults": {"containersError": true}})");
  ContactStore store(*system_);
  EXPECT_TRUE(std::holds_alternative<PlatformError>(store.containers()));
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
  store.fetchIncompleteReminders(at("2024-05-01T00:00:00Z"), at("2024-05-02T00:00:00Z"), {},
                                 [&called, alive = std::move(alive)](auto) { called = true; });
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
  store.requestFullAccessToEvents([&](bool isGranted, std::optional<PlatformError> error) {
    granted = isGranted && !error;
    thread.set_value(std::this_thread::get_id());
    called = true;
  });
  clock_->advance(4.5);
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(called);
  EXPECT_EQ(system_->authorization(WorldEntity::events), 0);
  clock_->advance(0.5);
  ASSERT_TRUE(eventually([&] { return called.load(); }));
  EXPECT_TRUE(granted);
  EXPECT_NE(thread.get_future().get(), std::this_thread::get_id());
  EXPECT_EQ(system_->authorization(WorldEntity::events), 3);
}

TEST_F(SimulatedStoresTest, AccessRequestErrorsAndRefusals) {
  start(R"({"authorization": {"reminders": 0, "contacts": 0},
            "accessRequests": {"reminders": {"status": null, "error": true},
                               "contacts": {"status": 4}}})");
  CalendarStore calendars(*system_);
  std::promise<std::pair<bool, bool>> reminders;
  calendars.requestAccess(CalendarEntityType::reminders, [&](bool granted, auto error) {
    reminders.set_value({granted, error.has_value()});
  });
  EXPECT_EQ(reminders.get_future().get(), std::make_pair(false, true));
  EXPECT_EQ(system_->authorization(WorldEntity::reminders), 0);

  ContactStore contacts(*system_);
  std::promise<bool> limited;
  contacts.requestAccess([&](bool granted, auto) { limited.set_value(granted); });
  EXPECT_TRUE(limited.get_future().get());  // limited contacts are readable
  EXPECT_EQ(system_->authorization(WorldEntity::contacts), 4);
}

TEST_F(SimulatedStoresTest, AnAccessRequestThatNeverCompletesStillChangesTheStatus) {
  start(R"({"authorization": {"contacts": 0},
            "accessRequests": {"contacts": {"status": 2, "completes": false}}})");
  ContactStore store(*system_);
  auto alive = std::make_shared<int>(0);
  std::weak_ptr<int> watch = alive;
  std::atomic<bool> called{false};
  store.requestAccess([&called, alive = std::move(alive)](bool, auto) { called = true; });
  ASSERT_TRUE(eventually([&] { return system_->authorization(WorldEntity::contacts) == 2; }));
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
      std::async(std::launch::async, [&] { return store.calendars(CalendarEntityType::events); });
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
  system_->postChange(WorldChange::Store::events);
  ASSERT_TRUE(eventually([&] { return calendarCalls == 2; }));
  calendarToken = ObserverToken();
  system_->postChange(WorldChange::Store::events);
  system_->close();  // joins the notification threads
  EXPECT_EQ(calendarCalls, 2);
  EXPECT_EQ(contactCalls, 1);
  EXPECT_TRUE(otherThread);
  EXPECT_EQ(system_->record().observersAdded, 2);
  EXPECT_EQ(system_->record().observersRemoved, 2);
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
  system_->postChange(WorldChange::Store::contacts);
  ASSERT_TRUE(eventually([&] { return entered.load(); }));
  token.reset();
  EXPECT_TRUE(finished);
}

TEST_F(SimulatedStoresTest, RecordsEveryPlatformCallInOrder) {
  start(R"({"calendars": [{"id": "c1"}], "containers": [{"id": "box"}]})");
  CalendarStore calendars(*system_);
  auto ignoreAccess = [](bool, std::optional<PlatformError>) {};
  calendars.requestFullAccessToEvents(ignoreAccess);
  calendars.requestFullAccessToReminders(ignoreAccess);
  calendars.requestAccess(CalendarEntityType::events, ignoreAccess);
  eventIds(calendars, "2024-05-01T00:00:00Z", "2024-05-02T00:00:00Z");
  fetch(calendars, "2024-05-01T00:00:00Z", "2024-05-02T00:00:00Z");
  ContactStore contacts(*system_);
  contacts.requestAccess(ignoreAccess);
  contacts.containers();
  contacts.enumerateContacts({{ContactKey::identifier}, "box", false, false},
                             [](const ContactRecord&, bool&) {});
  System::Record record = system_->record();
  EXPECT_EQ(
      record.calls,
      (std::vector<std::string>{
          "calendarStoreCreated", "requestFullAccessToEvents", "requestFullAccessToReminders",
          "requestAccess", "calendars", "enumerateEvents", "calendars", "fetchIncompleteReminders",
          "contactStoreCreated", "contactsRequestAccess", "containers", "enumerateContacts"}));
  EXPECT_EQ(record.eventStoresCreated, 1);
  EXPECT_EQ(record.contactStoresCreated, 1);
}

}  // namespace
}  // namespace pemrix::platform
