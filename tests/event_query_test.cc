// Event and reminder queries through the controller on simulated stores: limits and
// truncation, ordering, skipped items, identifiers, due dates, and the failure paths.
#include <gtest/gtest.h>

#include "store_test_support.h"

namespace pemrix::testing {
namespace {

std::string eventsQuery(const std::string& sourceIds, int limit = 100,
                        const std::string& entity = "events") {
  return R"({"id":"q","command":"query","entity":")" + entity + R"(","sourceIds":)" + sourceIds +
         R"(,"start":"2024-05-01T00:00:00Z","end":"2024-05-08T00:00:00Z","limit":)" +
         std::to_string(limit) + "}";
}

std::string event(const std::string& id, const std::string& start, const std::string& extra = "") {
  return R"({"calendar":"home","id":")" + id + R"(","title":"T)" + id + R"(","start":"2024-05-0)" +
         start + R"(Z","end":"2024-05-07T00:00:00Z")" + extra + "}";
}

const std::string kCalendars = R"("calendars":[{"id":"home","title":"Home","entityType":"events"},)"
                               R"({"id":"other","title":"Other","entityType":"events"},)"
                               R"({"id":"todo","title":"To do","entityType":"reminders"}])";

std::vector<std::string> ids(const Json& envelope) {
  std::vector<std::string> result;
  for (const Json& item : itemsOf(envelope)) result.push_back(item["id"]);
  return result;
}

TEST(EventQueryTest, LimitCutsInDeliveryOrderThenSortsStably) {
  BridgeHarness harness(worldFrom("{" + kCalendars + R"(,"events":[)" + event("a", "3T10:00:00") +
                                  "," + event("b", "2T10:00:00") + "," + event("c", "2T10:00:00") +
                                  "," + event("d", "1T10:00:00") + "]}"));
  Json three = answer(harness, eventsQuery(R"(["home"])", 3));
  EXPECT_EQ(ids(three),
            (std::vector<std::string>{"b@2024-05-02T10:00:00Z", "c@2024-05-02T10:00:00Z",
                                      "a@2024-05-03T10:00:00Z"}));
  EXPECT_EQ(three["result"]["truncated"], true);
  EXPECT_EQ(answer(harness, eventsQuery(R"(["home"])", 4))["result"]["truncated"], true);
  EXPECT_EQ(answer(harness, eventsQuery(R"(["home"])", 5))["result"]["truncated"], false);
}

TEST(EventQueryTest, ItemShapeAndRepeatedEventIds) {
  BridgeHarness harness(worldFrom(
      "{" + kCalendars + R"(,"events":[)" +
      R"({"calendar":"home","id":"rep","title":null,"start":"2024-05-01T09:30:00.75Z","end":"2024-05-01T10:00:00Z","allDay":true},)" +
      R"({"calendar":"home","id":"rep","title":"a/b","start":"2024-05-02T09:30:00Z","end":"2024-05-02T10:00:00Z"}]})"));
  harness.send(eventsQuery(R"(["home"])"));
  ASSERT_EQ(harness.awaitLines(1), 1u);
  EXPECT_EQ(
      harness.line(0),
      R"({"id":"q","ok":true,"result":{"items":[)"
      R"({"allDay":true,"end":"2024-05-01T10:00:00Z","id":"rep@2024-05-01T09:30:00Z","sourceId":"home","start":"2024-05-01T09:30:00Z","title":""},)"
      R"({"allDay":false,"end":"2024-05-02T10:00:00Z","id":"rep@2024-05-02T09:30:00Z","sourceId":"home","start":"2024-05-02T09:30:00Z","title":"a\/b"}],"truncated":false}})");
}

TEST(EventQueryTest, StraysAreSkippedWithoutCountingTowardTheLimit) {
  BridgeHarness harness(worldFrom(
      "{" + kCalendars + R"(,"events":[)" +
      R"({"calendar":null,"id":"none","start":"2024-05-01T09:00:00Z","end":"2024-05-01T10:00:00Z","stray":true},)" +
      R"({"calendar":"other","id":"other","start":"2024-05-01T09:00:00Z","end":"2024-05-01T10:00:00Z","stray":true},)" +
      R"({"calendar":"home","id":"nostart","start":null,"end":"2024-05-01T10:00:00Z","stray":true},)" +
      event("kept", "4T00:00:00") + "]}"));
  Json envelope = answer(harness, eventsQuery(R"(["home"])", 1));
  EXPECT_EQ(ids(envelope), std::vector<std::string>{"kept@2024-05-04T00:00:00Z"});
  EXPECT_EQ(envelope["result"]["truncated"], true);
}

TEST(EventQueryTest, MissingOrWrongTypeSourcesFailBeforeEnumerating) {
  BridgeHarness harness(worldFrom("{" + kCalendars + "}"));
  EXPECT_EQ(failureOf(answer(harness, eventsQuery(R"(["home","gone"])"))),
            BridgeFailure::sourceMissing());
  EXPECT_EQ(failureOf(answer(harness, eventsQuery(R"(["todo"])"))), BridgeFailure::sourceMissing());
  EXPECT_EQ(failureOf(answer(harness, eventsQuery(R"(["home"])", 100, "reminders"))),
            BridgeFailure::sourceMissing());
  for (const std::string& call : harness.record().calls) {
    EXPECT_NE(call, "enumerateEvents");
    EXPECT_NE(call, "enumerateIncompleteReminders");
  }
}

TEST(EventQueryTest, AccessWithdrawnDuringTheQueryIsReported) {
  BridgeHarness harness(
      worldFrom("{" + kCalendars + R"(,"faults":{"revokeDuring":["events","reminders"]}})"));
  EXPECT_EQ(failureOf(answer(harness, eventsQuery(R"(["home"])"))), BridgeFailure::accessChanged());
  EXPECT_EQ(failureOf(answer(harness, eventsQuery(R"(["todo"])", 100, "reminders"))),
            BridgeFailure::accessChanged());
}

TEST(EventQueryTest, DeadlineDuringEnumerationGivesOnlyTheTimeout) {
  BridgeHarness harness(worldFrom("{" + kCalendars + R"(,"events":[)" + event("a", "1T00:00:00") +
                                  "," + event("b", "2T00:00:00") +
                                  R"(],"faults":{"itemDelaySeconds":10}})"));
  harness.send(eventsQuery(R"(["home"])"));
  harness.advance(10);  // the first event is delivered
  harness.advance(10);  // the deadline passes before the second
  harness.settle();
  ASSERT_EQ(harness.lines().size(), 1u);
  EXPECT_EQ(failureOf(Json::parse(harness.lines()[0])), BridgeFailure::timeout());
}

std::string reminder(const std::string& id, const std::string& due, const std::string& extra = "") {
  return R"({"list":"todo","id":")" + id + R"(","title":"R)" + id + R"(","due":)" + due + extra +
         "}";
}

std::string remindersQuery(int limit = 100) {
  return R"({"id":"r","command":"query","entity":"reminders","sourceIds":["todo"],)"
         R"("start":"2024-05-01T00:00:00Z","end":"2024-05-02T00:00:00Z","limit":)" +
         std::to_string(limit) + "}";
}

TEST(ReminderQueryTest, HalfOpenWindowDateOnlyDueDatesAndSkippedReminders) {
  BridgeHarness harness(worldFrom(
      "{" + kCalendars + R"(,"timeZone":"Europe/Berlin","reminders":[)" +
      reminder("end", R"({"year":2024,"month":5,"day":2,"hour":0,"timeZone":"UTC"})") + "," +
      // Handed over by the store although due exactly at the end: the bridge drops it.
      reminder("endStray", R"({"year":2024,"month":5,"day":2,"hour":0,"timeZone":"UTC"})",
               R"(,"stray":true)") +
      "," +
      reminder("start", R"({"year":2024,"month":5,"day":1,"hour":0,"timeZone":"UTC"})",
               R"(,"priority":5)") +
      "," + reminder("berlin", R"({"year":2024,"month":5,"day":1})") + "," +
      // A date alone is the user's day, whatever zone the service stored it with.
      reminder("utcDay", R"({"year":2024,"month":5,"day":2,"timeZone":"UTC"})") + "," +
      reminder("done", R"({"year":2024,"month":5,"day":1,"hour":9})",
               R"(,"completed":true,"stray":true)") +
      "," + reminder("noday", R"({"year":2024,"month":5,"hour":9})", R"(,"stray":true)") + "," +
      reminder("nodue", "null", R"(,"stray":true)") + "]}"));
  harness.send(remindersQuery());
  ASSERT_EQ(harness.awaitLines(1), 1u);
  // Midnight of 1 May in Berlin (two hours ahead of UTC) is still outside the window.
  EXPECT_EQ(
      harness.line(0),
      R"({"id":"r","ok":true,"result":{"items":[)"
      R"({"completed":false,"due":"2024-05-01T00:00:00Z","id":"start","priority":5,"sourceId":"todo","title":"Rstart"},)"
      R"({"completed":false,"due":"2024-05-01T22:00:00Z","id":"utcDay","priority":0,"sourceId":"todo","title":"RutcDay"}],"truncated":false}})");

  BridgeHarness later(worldFrom("{" + kCalendars + R"(,"timeZone":"Europe/Berlin","reminders":[)" +
                                reminder("berlin", R"({"year":2024,"month":5,"day":2})") + "]}"));
  Json envelope = answer(later, remindersQuery());
  ASSERT_EQ(envelope["result"]["items"].size(), 1u);
  EXPECT_EQ(envelope["result"]["items"][0]["due"], "2024-05-01T22:00:00Z");
}

// EventKit keeps a date alone at midnight UTC and a time without a zone as if in UTC, and
// tests those instants against its predicate's window; the user means them in their own zone,
// up to 14 hours away. Near the window's edges the fetch must reach them, and the bridge
// must keep exactly those due for the user inside the window.
TEST(ReminderQueryTest, DatesKeptInUtcAreFoundAndCutExactlyAtTheWindowsEdges) {
  struct Case {
    const char* zone;
    const char* window;             // the request's "start" and "end"
    const char* dayIn;              // a date alone, due inside the window for the user
    const char* floatingIn;         // a time without a zone, likewise
    const char* dayOut;             // a date alone kept inside the window, due outside
    std::vector<std::string> dues;  // what the bridge answers
  } cases[] = {
      // UTC+14: 2 May is due at 10:00Z on 1 May, 23:30 on 1 May at 09:30Z, both kept after
      // the end; 1 May, kept at midnight UTC inside the window, is the user's 30 April.
      {"Pacific/Kiritimati",
       R"("start":"2024-05-01T00:00:00Z","end":"2024-05-01T12:00:00Z")",
       R"({"year":2024,"month":5,"day":2})",
       R"({"year":2024,"month":5,"day":1,"hour":23,"minute":30})",
       R"({"year":2024,"month":5,"day":1})",
       {"2024-05-01T09:30:00Z", "2024-05-01T10:00:00Z"}},
      // UTC-11: 1 May is due at 11:00Z, 00:30 on 1 May at 11:30Z, both kept before the
      // start; 2 May, kept inside the window, is due after its end.
      {"Pacific/Pago_Pago",
       R"("start":"2024-05-01T06:00:00Z","end":"2024-05-02T06:00:00Z")",
       R"({"year":2024,"month":5,"day":1})",
       R"({"year":2024,"month":5,"day":1,"hour":0,"minute":30})",
       R"({"year":2024,"month":5,"day":2})",
       {"2024-05-01T11:00:00Z", "2024-05-01T11:30:00Z"}},
  };
  for (const Case& c : cases) {
    BridgeHarness harness(worldFrom("{" + kCalendars + R"(,"timeZone":")" + c.zone +
                                    R"(","reminders":[)" + reminder("day", c.dayIn) + "," +
                                    reminder("floating", c.floatingIn) + "," +
                                    reminder("out", c.dayOut) + "]}"));
    Json envelope = answer(harness, std::string(R"({"id":"r","command":"query","entity":)") +
                                        R"("reminders","sourceIds":["todo"],)" + c.window + "}");
    std::vector<std::string> dues;
    for (const Json& item : itemsOf(envelope)) dues.push_back(item["due"]);
    EXPECT_EQ(dues, c.dues) << c.zone;
  }
}

TEST(ReminderQueryTest, LimitAndStableSortByDue) {
  BridgeHarness harness(
      worldFrom("{" + kCalendars + R"(,"reminders":[)" +
                reminder("late", R"({"year":2024,"month":5,"day":1,"hour":20})") + "," +
                reminder("a", R"({"year":2024,"month":5,"day":1,"hour":8})") + "," +
                reminder("b", R"({"year":2024,"month":5,"day":1,"hour":8})") + "," +
                reminder("never", R"({"year":2024,"month":5,"day":1,"hour":1})") + "]}"));
  Json envelope = answer(harness, remindersQuery(3));
  EXPECT_EQ(ids(envelope), (std::vector<std::string>{"a", "b", "late"}));
  EXPECT_EQ(envelope["result"]["truncated"], true);
}

TEST(ReminderQueryTest, FetchWithoutAListIsReportedEvenAfterAccessChanged) {
  BridgeHarness harness(
      worldFrom("{" + kCalendars +
                R"(,"faults":{"remindersFetchFails":true,"revokeDuring":["reminders"]}})"));
  EXPECT_EQ(failureOf(answer(harness, remindersQuery())),
            BridgeFailure::reminderListsUnavailable());
}

}  // namespace
}  // namespace pemrix::testing
