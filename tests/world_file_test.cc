// Tests of the world-file reader (every key, defaults, rejection of unknown keys, wrong
// types and unknown time zones with messages naming the key path) and of the demo world.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "protocol/native_request.h"
#include "sim/world.h"

namespace pemrix::platform {
namespace {

Instant at(const char* text) {
  return parseDate(text).value();
}

World parsed(const std::string& json) {
  auto result = parseWorld(json);
  if (auto* problem = std::get_if<std::string>(&result)) ADD_FAILURE() << *problem;
  return std::holds_alternative<World>(result) ? std::get<World>(result) : World{};
}

std::string problemOf(const std::string& json) {
  auto result = parseWorld(json);
  if (std::holds_alternative<World>(result)) return "(accepted)";
  return std::get<std::string>(result);
}

constexpr std::array<Authorization, 3> kAllFullAccess = {
    Authorization::fullAccess, Authorization::fullAccess, Authorization::fullAccess};

constexpr const char* kFullWorld = R"({
  "authorization": {"events": 0, "reminders": 4, "contacts": 17},
  "accessRequests": {
    "events": {"status": 3, "error": false, "delaySeconds": 1.5, "completes": true},
    "reminders": {"status": null, "error": true},
    "contacts": {"completes": false}
  },
  "timeZone": "Europe/Berlin",
  "calendars": [
    {"id": "cal-1", "title": "Home", "entityType": "events"},
    {"id": "list-1", "title": "Errands", "entityType": "reminders"}
  ],
  "events": [
    {"calendar": "cal-1", "id": "e1", "title": "Lunch", "start": "2024-05-01T12:00:00Z",
     "end": "2024-05-01T13:00:00.5Z", "allDay": false, "stray": true},
    {"calendar": null, "id": "e2", "title": null, "start": null, "end": null}
  ],
  "reminders": [
    {"list": "list-1", "id": "r1", "title": "Milk", "completed": true, "priority": 9,
     "due": {"year": 2024, "month": 5, "day": 1, "hour": 9, "minute": 30, "second": 5,
             "timeZone": "Asia/Tokyo"}, "stray": true},
    {"list": null, "id": "r2", "due": null}
  ],
  "containers": [{"id": "box-1", "name": "Personal"}],
  "contacts": [
    {"container": "box-1", "id": "p1", "givenName": "José", "familyName": "García",
     "organizationName": "Acme", "jobTitle": "Engineer"},
    {"container": "box-1", "id": "p2"}
  ],
  "faults": {
    "delaySeconds": {"calendars": 1, "events": 2, "reminders": 3, "containers": 4,
                     "contacts": 5},
    "itemDelaySeconds": 0.25,
    "containersError": true,
    "contactsErrorIn": ["box-1"],
    "remindersFetchFails": true,
    "remindersFetchNeverCompletes": true,
    "revokeDuring": ["events", "contacts"],
    "changes": [{"afterSeconds": 10, "store": "events"}, {"store": "contacts"}]
  }
})";

TEST(WorldFileTest, ReadsEveryTopLevelKey) {
  World world = parsed(kFullWorld);
  EXPECT_EQ(world.authorization,
            (std::array<Authorization, 3>{Authorization::notDetermined, Authorization::writeOnly,
                                          Authorization::unknown}));
  EXPECT_EQ(world.accessRequests[0].status, Authorization::fullAccess);
  EXPECT_DOUBLE_EQ(world.accessRequests[0].delaySeconds, 1.5);
  EXPECT_EQ(world.accessRequests[1].status, std::nullopt);
  EXPECT_TRUE(world.accessRequests[1].error);
  EXPECT_EQ(world.accessRequests[2].status, Authorization::fullAccess);
  EXPECT_FALSE(world.accessRequests[2].completes);
  EXPECT_EQ(world.timeZone, "Europe/Berlin");

  ASSERT_EQ(world.calendars.size(), 2u);
  EXPECT_EQ(world.calendars[1].id, "list-1");
  EXPECT_EQ(world.calendars[1].entityType, CalendarEntityType::reminders);

  ASSERT_EQ(world.events.size(), 2u);
  EXPECT_EQ(world.events[0].calendar, "cal-1");
  EXPECT_EQ(world.events[0].start, at("2024-05-01T12:00:00Z"));
  EXPECT_EQ(world.events[0].end, at("2024-05-01T13:00:00.5Z"));
  EXPECT_TRUE(world.events[0].stray);
  EXPECT_EQ(world.events[1].calendar, std::nullopt);
  EXPECT_EQ(world.events[1].title, std::nullopt);
  EXPECT_EQ(world.events[1].start, std::nullopt);

  ASSERT_EQ(world.reminders.size(), 2u);
  const WorldReminder& r1 = world.reminders[0];
  EXPECT_TRUE(r1.completed);
  EXPECT_EQ(r1.priority, 9);
  ASSERT_TRUE(r1.due.has_value());
  EXPECT_EQ(r1.due->second, 5);
  EXPECT_EQ(r1.due->timeZone, "Asia/Tokyo");
  EXPECT_EQ(world.reminders[1].list, std::nullopt);
  EXPECT_EQ(world.reminders[1].due, std::nullopt);

  ASSERT_EQ(world.contacts.size(), 2u);
  EXPECT_EQ(world.contacts[0].givenName, "José");
  EXPECT_EQ(world.contacts[0].jobTitle, "Engineer");
  EXPECT_EQ(world.contacts[1].organizationName, "");
  EXPECT_EQ(world.containers[0].name, "Personal");

  const WorldFaults& faults = world.faults;
  EXPECT_DOUBLE_EQ(faults.calendarsDelay + faults.eventsDelay + faults.remindersDelay +
                       faults.containersDelay + faults.contactsDelay,
                   15);
  EXPECT_DOUBLE_EQ(faults.containersDelay, 4);
  EXPECT_DOUBLE_EQ(faults.itemDelaySeconds, 0.25);
  EXPECT_TRUE(faults.containersError && faults.remindersFetchFails &&
              faults.remindersFetchNeverCompletes);
  EXPECT_EQ(faults.contactsErrorIn, std::vector<std::string>{"box-1"});
  EXPECT_EQ(faults.revokeDuring, (std::vector{WorldEntity::events, WorldEntity::contacts}));
  ASSERT_EQ(faults.changes.size(), 2u);
  EXPECT_DOUBLE_EQ(faults.changes[0].afterSeconds, 10);
  EXPECT_EQ(faults.changes[1].store, WorldChange::Store::contacts);
  EXPECT_DOUBLE_EQ(faults.changes[1].afterSeconds, 0);
}

// A status number means the same for an entity's authorisation and for the status an access
// request leaves; 4 means write-only for calendars and limited for contacts.
TEST(WorldFileTest, StatusNumbersAreAuthorisations) {
  const std::vector<std::tuple<int, Authorization, Authorization>> cases = {
      {0, Authorization::notDetermined, Authorization::notDetermined},
      {1, Authorization::restricted, Authorization::restricted},
      {2, Authorization::denied, Authorization::denied},
      {3, Authorization::fullAccess, Authorization::fullAccess},
      {4, Authorization::writeOnly, Authorization::limited},
      {5, Authorization::unknown, Authorization::unknown},
      {-1, Authorization::unknown, Authorization::unknown}};
  for (const auto& [number, calendars, contacts] : cases) {
    const std::string n = std::to_string(number);
    World world = parsed(R"({"authorization": {"events": )" + n + R"(, "reminders": )" + n +
                         R"(, "contacts": )" + n + R"(}, "accessRequests": {"reminders": )" +
                         R"({"status": )" + n + R"(}, "contacts": {"status": )" + n + "}}}");
    EXPECT_EQ(world.authorization, (std::array<Authorization, 3>{calendars, calendars, contacts}))
        << number;
    EXPECT_EQ(world.accessRequests[1].status, calendars) << number;
    EXPECT_EQ(world.accessRequests[2].status, contacts) << number;
  }
}

TEST(WorldFileTest, EmptyObjectGivesDefaults) {
  World world = parsed("{}");
  EXPECT_EQ(world.authorization, kAllFullAccess);
  for (const AccessBehaviour& access : world.accessRequests) {
    EXPECT_EQ(access.status, Authorization::fullAccess);
    EXPECT_FALSE(access.error);
    EXPECT_EQ(access.delaySeconds, 0);
    EXPECT_TRUE(access.completes);
  }
  EXPECT_EQ(world.timeZone, "UTC");
  EXPECT_TRUE(world.calendars.empty() && world.events.empty() && world.contacts.empty());
  World calendar = parsed(R"({"calendars": [{"id": "c"}]})");
  EXPECT_EQ(calendar.calendars[0].entityType, CalendarEntityType::events);
  EXPECT_EQ(calendar.calendars[0].title, "");
}

struct Rejection {
  const char* json;
  const char* message;
};

TEST(WorldFileTest, RejectsWithMessageNamingTheKeyPath) {
  const Rejection cases[] = {
      {R"([])", "top level: not an object"},
      {R"({"bogus": 1})", "bogus: unknown key"},
      {R"({"authorization": {"events": 3, "calendars": 3}})",
       "authorization.calendars: unknown key"},
      {R"({"accessRequests": {"events": {"granted": true}}})",
       "accessRequests.events.granted: unknown key"},
      {R"({"events": [{"id": "a", "colour": "red"}]})", "events[0].colour: unknown key"},
      {R"({"reminders": [{"id": "r", "due": {"week": 1}}]})", "reminders[0].due.week: unknown key"},
      {R"({"faults": {"delaySeconds": {"calendar": 1}}})",
       "faults.delaySeconds.calendar: unknown key"},
      {R"({"authorization": {"events": "3"}})", "authorization.events: not an integer"},
      {R"({"authorization": {"events": 3.5}})", "authorization.events: not an integer"},
      {R"({"authorization": {"contacts": 4294967296}})", "authorization.contacts: out of range"},
      {R"({"accessRequests": {"reminders": {"status": true}}})",
       "accessRequests.reminders.status: not an integer"},
      {R"({"accessRequests": {"contacts": {"delaySeconds": -1}}})",
       "accessRequests.contacts.delaySeconds: not a non-negative number of seconds"},
      {R"({"accessRequests": {"contacts": {"completes": "no"}}})",
       "accessRequests.contacts.completes: not a boolean"},
      {R"({"timeZone": "Mars/Olympus_Mons"})",
       R"(timeZone: unknown time zone "Mars/Olympus_Mons")"},
      {R"({"timeZone": 2})", "timeZone: not a string"},
      {R"({"calendars": [{"title": "x"}]})", "calendars[0].id: missing"},
      {R"({"calendars": [{"id": "c", "entityType": "todo"}]})",
       R"(calendars[0].entityType: not "events" or "reminders")"},
      {R"({"events": {}})", "events: not an array"},
      {R"({"events": [{"id": 5}]})", "events[0].id: not a string"},
      {R"({"events": [{"id": "a"}, {"id": "b"}, {"id": "c"},
                      {"id": "d", "start": "2024-05-01 08:30:00"}]})",
       "events[3].start: not a timestamp"},
      {R"({"events": [{"id": "a", "end": 1714550400}]})", "events[0].end: not a timestamp"},
      {R"({"events": [{"id": "a", "allDay": null}]})", "events[0].allDay: not a boolean"},
      {R"({"reminders": [{"id": "r", "due": {"month": "5"}}]})",
       "reminders[0].due.month: not an integer"},
      {R"({"reminders": [{"id": "r", "due": {"timeZone": "Nowhere/City"}}]})",
       R"(reminders[0].due.timeZone: unknown time zone "Nowhere/City")"},
      {R"({"reminders": [{"id": "r", "priority": 1.5}]})", "reminders[0].priority: not an integer"},
      {R"({"containers": [{"name": "Work"}]})", "containers[0].id: missing"},
      {R"({"contacts": [{"id": "p"}]})", "contacts[0].container: missing"},
      {R"({"contacts": [{"container": "c", "id": "p", "givenName": null}]})",
       "contacts[0].givenName: not a string"},
      {R"({"faults": {"containersError": 1}})", "faults.containersError: not a boolean"},
      {R"({"faults": {"itemDelaySeconds": "1"}})", "faults.itemDelaySeconds: not a number"},
      {R"({"faults": {"contactsErrorIn": "box"}})", "faults.contactsErrorIn: not an array"},
      {R"({"faults": {"revokeDuring": ["calendars"]}})",
       R"(faults.revokeDuring[0]: not "events", "reminders" or "contacts")"},
      {R"({"faults": {"changes": [{"afterSeconds": 1, "store": "reminders"}]}})",
       R"(faults.changes[0].store: not "events" or "contacts")"},
      {R"({"faults": {"changes": [{"afterSeconds": 1}]}})", "faults.changes[0].store: missing"},
  };
  for (const Rejection& rejection : cases) {
    EXPECT_EQ(problemOf(rejection.json), rejection.message) << rejection.json;
  }
}

TEST(WorldFileTest, ReportsJsonSyntaxErrors) {
  for (const char* text : {"{\"events\": [}", "", "{} {}", "{\"a\": 1,}"}) {
    EXPECT_EQ(problemOf(text).rfind("not valid JSON: ", 0), 0u) << text;
  }
}

class WorldFileOnDiskTest : public ::testing::Test {
 protected:
  void TearDown() override { std::remove(path_.c_str()); }
  std::string write(const std::string& text) {
    std::ofstream(path_, std::ios::binary) << text;
    return path_;
  }
  std::string path_ = ::testing::TempDir() + "world_file_test.json";
};

TEST_F(WorldFileOnDiskTest, LoadsAFileAndPrefixesProblemsWithItsPath) {
  auto loaded = loadWorldFile(write(R"({"containers": [{"id": "box", "name": "Work"}]})"));
  ASSERT_TRUE(std::holds_alternative<World>(loaded));
  EXPECT_EQ(std::get<World>(loaded).containers[0].id, "box");

  auto refused = loadWorldFile(write(R"({"contacts": [{"id": "p"}]})"));
  EXPECT_EQ(std::get<std::string>(refused), path_ + ": contacts[0].container: missing");

  auto broken = loadWorldFile(write("{"));
  EXPECT_EQ(std::get<std::string>(broken).rfind(path_ + ": not valid JSON: ", 0), 0u);
}

TEST(WorldFileTest, ReportsAFileThatCannotBeRead) {
  std::string path = ::testing::TempDir() + "no-such-dir/world.json";
  auto missing = loadWorldFile(path);
  EXPECT_EQ(std::get<std::string>(missing), path + ": cannot open: No such file or directory");
  auto directory = loadWorldFile(::testing::TempDir());
  EXPECT_EQ(std::get<std::string>(directory).rfind(::testing::TempDir() + ": cannot ", 0), 0u);
}

#ifdef PEMRIX_SOURCE_DIR
// The example world in docs/simulator.md is a valid world.
TEST(WorldFileTest, DocumentedExampleIsValid) {
  std::ifstream doc(std::string(PEMRIX_SOURCE_DIR) + "/docs/simulator.md");
  ASSERT_TRUE(doc) << "docs/simulator.md not found";
  std::stringstream text;
  text << doc.rdbuf();
  std::string markdown = text.str();
  std::size_t begin = markdown.find("```json world=");
  ASSERT_NE(begin, std::string::npos);
  begin = markdown.find('\n', begin) + 1;
  std::size_t end = markdown.find("```", begin);
  World world = parsed(markdown.substr(begin, end - begin));
  EXPECT_FALSE(world.events.empty());
  EXPECT_FALSE(world.contacts.empty());
}
#endif

TEST(DemoWorldTest, IsDeterministicAndSpreadAroundNow) {
  Instant now = at("2024-05-15T13:45:10Z");
  World world = demoWorld(now);
  World again = demoWorld(now);
  ASSERT_EQ(world.events.size(), 40u);
  EXPECT_EQ(world.reminders.size(), 20u);
  EXPECT_EQ(world.contacts.size(), 36u);
  EXPECT_EQ(world.authorization, kAllFullAccess);
  EXPECT_EQ(world.timeZone, "UTC");

  std::set<std::string> calendarIds;
  for (const WorldCalendar& calendar : world.calendars) calendarIds.insert(calendar.id);
  int allDay = 0;
  std::vector<Instant> planningStarts;
  for (std::size_t i = 0; i < world.events.size(); ++i) {
    const WorldEvent& event = world.events[i];
    EXPECT_EQ(event.start, again.events[i].start);
    ASSERT_TRUE(event.start && event.end && event.calendar);
    EXPECT_TRUE(calendarIds.count(*event.calendar));
    EXPECT_LT(*event.start, *event.end);
    EXPECT_GE(*event.start, now - std::chrono::days(8));
    EXPECT_LE(*event.end, now + std::chrono::days(15));
    allDay += event.allDay;
    if (event.id == "evt-weekly-planning") planningStarts.push_back(*event.start);
  }
  EXPECT_GE(allDay, 3);
  ASSERT_EQ(planningStarts.size(), 2u);
  EXPECT_NE(planningStarts[0], planningStarts[1]);

  int completed = 0;
  for (const WorldReminder& reminder : world.reminders) completed += reminder.completed;
  EXPECT_GT(completed, 0);

  std::set<std::string> given;
  for (const WorldContact& contact : world.contacts) given.insert(contact.givenName);
  for (const char* name : {"José", "Zoë", "Søren"}) EXPECT_TRUE(given.count(name)) << name;
  ASSERT_EQ(world.containers.size(), 2u);
  EXPECT_EQ(world.containers[0].name, "Personal");
  EXPECT_EQ(world.containers[1].name, "Work");
}

}  // namespace
}  // namespace pemrix::platform
