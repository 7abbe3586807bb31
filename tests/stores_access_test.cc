// Permissions, access requests and source listing through the controller on simulated
// stores: the permission gate, which states ask the system, access errors, store creation,
// and listing limits.
#include <gtest/gtest.h>

#include <algorithm>

#include "store_test_support.h"
#include "stores/permissions.h"

namespace pemrix::testing {
namespace {

std::string ask(const std::string& entity) {
  return R"({"id":"p","command":"request-permission","entity":")" + entity + R"("})";
}

TEST(AccessRequestTest, OnlyUndeterminedAndWriteOnlyEventsAskTheSystem) {
  BridgeHarness harness(worldFrom(R"({"authorization":{"events":4,"reminders":4,"contacts":4},)"
                                  R"("accessRequests":{"events":{"status":3}}})"));
  EXPECT_EQ(answer(harness, ask("events"))["result"]["permission"], "fullAccess");
  EXPECT_EQ(answer(harness, ask("reminders"))["result"]["permission"], "writeOnly");
  EXPECT_EQ(answer(harness, ask("contacts"))["result"]["permission"], "limited");
  auto record = harness.record();
  EXPECT_EQ(std::count(record.calls.begin(), record.calls.end(), "requestAccess(events)"), 1);
  EXPECT_EQ(record.contactStoresCreated, 0);
}

TEST(AccessRequestTest, RefusalReportsTheStateAndErrorsOnlyWhileUndetermined) {
  BridgeHarness harness(worldFrom(
      R"({"authorization":{"events":0,"reminders":0,"contacts":0},"accessRequests":{)"
      R"("events":{"status":2},"reminders":{"error":true,"status":0},"contacts":{"error":true,"status":2}}})"));
  EXPECT_EQ(answer(harness, ask("events"))["result"]["permission"], "denied");
  EXPECT_EQ(failureOf(answer(harness, ask("reminders"))), BridgeFailure::permissionUnavailable());
  EXPECT_EQ(answer(harness, ask("contacts"))["result"]["permission"], "denied");
}

TEST(AccessRequestTest, StoresAreCreatedOnceWithOneObserverEach) {
  BridgeHarness harness(worldFrom(R"({"authorization":{"events":0,"reminders":0,"contacts":0}})"));
  for (const char* entity : {"events", "reminders", "contacts", "events"}) {
    EXPECT_EQ(answer(harness, ask(entity))["result"]["permission"], "fullAccess");
  }
  answer(harness, R"({"id":"l","command":"list-sources","entity":"reminders"})");
  auto record = harness.record();
  EXPECT_EQ(record.eventStoresCreated, 1);
  EXPECT_EQ(record.contactStoresCreated, 1);
  EXPECT_EQ(record.observersAdded, 2);
}

TEST(PermissionGateTest, UnreadableEntitiesAreRefusedWithoutCreatingAStore) {
  for (int status : {0, 1, 2, 4, 9}) {
    std::string s = std::to_string(status);
    BridgeHarness harness(worldFrom(R"({"authorization":{"events":)" + s + R"(,"reminders":)" + s +
                                    R"(,"contacts":)" + (status == 4 ? "2" : s) + "}}"));
    for (const char* entity : {"events", "reminders", "contacts"}) {
      Json envelope = answer(harness, R"({"id":"l","command":"list-sources","entity":")" +
                                          std::string(entity) + R"("})");
      EXPECT_EQ(failureOf(envelope), BridgeFailure::permissionRequired()) << status << entity;
    }
    auto record = harness.record();
    EXPECT_EQ(record.eventStoresCreated + record.contactStoresCreated, 0);
  }
}

std::string calendars(int count, const std::string& badId = "") {
  std::string json = R"({"calendars":[)";
  for (int i = 0; i < count; ++i) {
    json += (i ? "," : "") + std::string(R"({"id":")") + (i % 3 == 1 ? badId : "") + "cal" +
            std::to_string(i) + R"(","title":"Calendar )" + std::to_string(i) +
            R"(","entityType":"events"})";
  }
  return json + "]}";
}

TEST(SourceListingTest, AtMostOneHundredInStoreOrder) {
  BridgeHarness exact(worldFrom(calendars(100)));
  Json hundred = answer(exact, R"({"id":"l","command":"list-sources","entity":"events"})");
  EXPECT_EQ(hundred["result"]["sources"].size(), 100u);
  EXPECT_EQ(hundred["result"]["truncated"], false);
  EXPECT_EQ(hundred["result"]["permission"], "fullAccess");
  BridgeHarness more(worldFrom(calendars(101)));
  Json cut = answer(more, R"({"id":"l","command":"list-sources","entity":"events"})");
  EXPECT_EQ(cut["result"]["sources"].size(), 100u);
  EXPECT_EQ(cut["result"]["sources"][99]["id"], "cal99");
  EXPECT_EQ(cut["result"]["truncated"], true);
}

TEST(SourceListingTest, InvalidIdentifiersAreLeftOutAndDoNotCount) {
  // Every third calendar gets an identifier with a zero-width space: 150 listed, 50 left out.
  BridgeHarness harness(worldFrom(calendars(150, "\u200b")));
  Json envelope = answer(harness, R"({"id":"l","command":"list-sources","entity":"events"})");
  EXPECT_EQ(envelope["result"]["sources"].size(), 100u);
  EXPECT_EQ(envelope["result"]["truncated"], false);
  EXPECT_EQ(envelope["result"]["sources"][1]["id"], "cal2");
}

TEST(SourceListingTest, LongTitlesAreClippedAndContainersCanFail) {
  std::string title(300, 'x');
  BridgeHarness harness(worldFrom(R"({"containers":[{"id":"p","name":")" + title + R"("}]})"));
  Json envelope = answer(harness, R"({"id":"l","command":"list-sources","entity":"contacts"})");
  EXPECT_EQ(envelope["result"]["sources"][0]["title"], std::string(200, 'x'));
  BridgeHarness failing(worldFrom(R"({"faults":{"containersError":true}})"));
  EXPECT_EQ(
      failureOf(answer(failing, R"({"id":"l","command":"list-sources","entity":"contacts"})")),
      BridgeFailure::sourceUnavailable());
  BridgeHarness revoked(worldFrom(R"({"faults":{"revokeDuring":["reminders"]}})"));
  EXPECT_EQ(
      failureOf(answer(revoked, R"({"id":"l","command":"list-sources","entity":"reminders"})")),
      BridgeFailure::accessChanged());
}

TEST(SourceListingTest, HostileNamesAreCutToTheByteBudgetInsteadOfEndingTheProcess) {
  // Slashes and control characters grow when escaped, and one character may carry many
  // combining marks: 100 such sources would exceed the output limit, and the process would
  // end with status 65 and no answer.
  std::string title(199, '\x01');
  title += "a";
  for (int i = 0; i < 300; ++i) title += "\u0301";
  platform::World world;
  for (int i = 0; i < 100; ++i) {
    world.calendars.push_back(
        {std::to_string(i) + std::string(508, '/'), title, platform::CalendarEntityType::events});
  }
  BridgeHarness harness(world);
  Json envelope = answer(harness, R"({"id":"l","command":"list-sources","entity":"events"})");
  EXPECT_FALSE(harness.exitStatus());
  EXPECT_LE(harness.lines().at(0).size(), 262145u);
  EXPECT_EQ(envelope["result"]["truncated"], true);
  const std::size_t kept = envelope["result"]["sources"].size();
  EXPECT_GT(kept, 0u);
  EXPECT_LT(kept, 100u);
  EXPECT_EQ(envelope["result"]["sources"][kept - 1]["id"],
            std::to_string(kept - 1) + std::string(508, '/'));
}

// A service that raises an exception (Objective-C exceptions become C++ ones in the
// adapters) or a std::bad_alloc must not end the process: the request is answered as an
// unreadable source, with the literal wire text, once, and the bridge goes on serving.
TEST(StoreExceptionTest, ThrowingServiceCallsAnswerSourceUnavailableOnce) {
  const std::string world =
      R"({"calendars":[{"id":"home","entityType":"events"},{"id":"todo","entityType":"reminders"}],)"
      R"("events":[{"calendar":"home","id":"e","start":"2024-05-01T09:00:00Z","end":"2024-05-01T10:00:00Z"}],)"
      R"("reminders":[{"list":"todo","id":"r","due":{"year":2024,"month":5,"day":1}}],)"
      R"("containers":[{"id":"box"}],"contacts":[{"container":"box","id":"c","givenName":"Ann"}],)"
      R"("faults":{"throwsIn":[")";
  const std::string window = R"(,"start":"2024-05-01T00:00:00Z","end":"2024-05-02T00:00:00Z"})";
  const std::pair<const char*, std::string> cases[] = {
      {"calendars", R"({"id":"1","command":"list-sources","entity":"events"})"},
      {"events", R"({"id":"1","command":"query","entity":"events","sourceIds":["home"])" + window},
      // Thrown on the service's thread, while the fetched reminders are walked.
      {"reminders",
       R"({"id":"1","command":"query","entity":"reminders","sourceIds":["todo"])" + window},
      {"containers", R"({"id":"1","command":"list-sources","entity":"contacts"})"},
      {"contacts",
       R"({"id":"1","command":"query","entity":"contacts","sourceIds":["box"],"query":"ann"})"},
  };
  for (const auto& [operation, request] : cases) {
    SCOPED_TRACE(operation);
    BridgeHarness harness(worldFrom(world + operation + R"("]}})"));
    harness.send(request);
    ASSERT_EQ(harness.awaitLines(1), 1u);
    EXPECT_EQ(harness.line(0),
              R"({"error":{"code":"source_unavailable","message":"macOS could not read the )"
              R"(selected sources. Check access and try again."},"id":"1","ok":false})");
    Json status = answer(harness, R"({"id":"2","command":"status"})");
    EXPECT_EQ(status["ok"], true);
    EXPECT_EQ(harness.lines().size(), 2u);
  }
  // An access request that throws is one macOS could not make.
  BridgeHarness asking(
      worldFrom(R"({"authorization":{"events":0},"faults":{"throwsIn":["access"]}})"));
  asking.send(R"({"id":"3","command":"request-permission","entity":"events"})");
  ASSERT_EQ(asking.awaitLines(1), 1u);
  EXPECT_EQ(asking.line(0),
            R"({"error":{"code":"permission_unavailable","message":"macOS could not request this )"
            R"(permission. Try again in the installed Pemrix app."},"id":"3","ok":false})");
}

}  // namespace
}  // namespace pemrix::testing
