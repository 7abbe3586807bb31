// The controller on virtual time: the response envelope, busy and shutdown while a store
// request runs, deadlines, the idle exit, late answers, and coalesced change messages.
#include <gtest/gtest.h>

#include "bridge_harness.h"

namespace pemrix::testing {
namespace {

using platform::Authorization;
using platform::World;
using platform::WorldEntity;

const char* kEventsQuery = R"({"id":"q1","command":"query","entity":"events","sourceIds":["cal"],)"
                           R"("start":"2024-05-01T00:00:00Z","end":"2024-05-08T00:00:00Z"})";

// One event calendar; listing and queries take `eventsDelay` virtual seconds.
World worldWithSlowEvents(double eventsDelay) {
  World world;
  world.calendars.push_back({"cal", "Home", platform::CalendarEntityType::events});
  world.faults.eventsDelay = eventsDelay;
  return world;
}

std::string failureLine(const std::string& id, const BridgeFailure& failure) {
  return R"({"error":{"code":")" + std::string(wireName(failure.code())) + R"(","message":")" +
         std::string(failure.message()) + R"("},"id":)" + id + R"(,"ok":false})";
}

TEST(NativeBridgeTest, StatusAnswersWithSortedEnvelope) {
  World world;
  world.authorization = {Authorization::notDetermined, Authorization::writeOnly,
                         Authorization::limited};
  BridgeHarness harness(world);
  harness.send(R"({"command":"status","id":"s-1"})");
  ASSERT_EQ(harness.lines().size(), 1u);
  EXPECT_EQ(harness.lines()[0],
            R"({"id":"s-1","ok":true,"result":{"permissions":{"contacts":"limited",)"
            R"("events":"notDetermined","reminders":"writeOnly"}}})"
            "\n");
}

TEST(NativeBridgeTest, RefusedLinesEchoOnlyValidIds) {
  BridgeHarness harness;
  harness.send(R"({"id":"abc","command":"launch"})");
  harness.send(R"({"id":"has space","command":"status"})");
  harness.send("");
  harness.send(R"({"id":7,"command":"status"})");
  ASSERT_EQ(harness.lines().size(), 4u);
  EXPECT_EQ(harness.line(0), failureLine(R"("abc")", BridgeFailure::invalidRequest()));
  for (std::size_t i = 1; i < 4; ++i) {
    EXPECT_EQ(harness.line(i), failureLine("null", BridgeFailure::invalidRequest()));
  }
  EXPECT_FALSE(harness.exitStatus());
}

TEST(NativeBridgeTest, ShutdownAnswersAndExits) {
  BridgeHarness harness;
  harness.send(R"({"id":"bye","command":"shutdown"})");
  ASSERT_EQ(harness.lines().size(), 1u);
  EXPECT_EQ(harness.line(0), R"({"id":"bye","ok":true,"result":{"stopped":true}})");
  EXPECT_EQ(harness.exitStatus(), 0);
  harness.send(R"({"id":"late","command":"status"})");
  EXPECT_EQ(harness.lines().size(), 1u);
}

TEST(NativeBridgeTest, IdleExitAfterThirtySecondsIgnoringRefusedLines) {
  BridgeHarness harness;
  harness.advance(10);
  harness.send("not json");
  harness.advance(19.9);
  EXPECT_FALSE(harness.exitStatus());
  harness.advance(0.1);
  EXPECT_EQ(harness.exitStatus(), 0);
  EXPECT_EQ(harness.lines().size(), 1u);
}

TEST(NativeBridgeTest, StatusMovesTheIdleExit) {
  BridgeHarness harness;
  harness.advance(25);
  harness.send(R"({"id":"s","command":"status"})");
  harness.advance(29.9);
  EXPECT_FALSE(harness.exitStatus());
  harness.advance(0.1);
  EXPECT_EQ(harness.exitStatus(), 0);
}

TEST(NativeBridgeTest, RunningQueryHoldsOffIdleExitUntilAnswered) {
  BridgeHarness harness(worldWithSlowEvents(14));
  harness.advance(20);
  harness.send(kEventsQuery);
  harness.awaitDelay();
  harness.advance(14);  // t = 34: the query's answer arrives
  ASSERT_EQ(harness.awaitLines(1), 1u);
  EXPECT_EQ(harness.line(0), R"({"id":"q1","ok":true,"result":{"items":[],"truncated":false}})");
  harness.advance(29.9);
  EXPECT_FALSE(harness.exitStatus());
  harness.advance(0.1);  // t = 64
  EXPECT_EQ(harness.exitStatus(), 0);
}

TEST(NativeBridgeTest, QueryDeadlineAnswersTimeoutAndExits) {
  BridgeHarness harness(worldWithSlowEvents(100));
  harness.send(kEventsQuery);
  harness.advance(14.9);
  harness.settle();
  EXPECT_TRUE(harness.lines().empty());
  harness.advance(0.1);
  ASSERT_EQ(harness.lines().size(), 1u);
  EXPECT_EQ(harness.line(0), failureLine(R"("q1")", BridgeFailure::timeout()));
  EXPECT_EQ(harness.exitStatus(), 0);
}

World worldAskingForAccess(double delay) {
  World world;
  world.authorization = {Authorization::notDetermined, Authorization::fullAccess,
                         Authorization::fullAccess};
  world.accessRequests[0] = {Authorization::fullAccess, false, delay, true};
  return world;
}

TEST(NativeBridgeTest, PermissionRequestMayTakeUpToItsLongerAllowance) {
  BridgeHarness harness(worldAskingForAccess(100));
  harness.send(R"({"id":"p","command":"request-permission","entity":"events"})");
  harness.awaitDelay();
  harness.advance(100);
  ASSERT_EQ(harness.awaitLines(1), 1u);
  EXPECT_EQ(harness.line(0), R"({"id":"p","ok":true,"result":{"permission":"fullAccess"}})");
  EXPECT_FALSE(harness.exitStatus());
}

TEST(NativeBridgeTest, PermissionRequestTimesOutAfterTwoMinutes) {
  BridgeHarness harness(worldAskingForAccess(500));
  harness.send(R"({"id":"p","command":"request-permission","entity":"events"})");
  harness.advance(119.9);
  harness.settle();
  EXPECT_TRUE(harness.lines().empty());
  harness.advance(0.1);
  ASSERT_EQ(harness.lines().size(), 1u);
  EXPECT_EQ(harness.line(0), failureLine(R"("p")", BridgeFailure::timeout()));
  EXPECT_EQ(harness.exitStatus(), 0);
}

TEST(NativeBridgeTest, AnswerReachingTheQueueAtTheDeadlineIsDropped) {
  BridgeHarness harness(worldWithSlowEvents(14.5));
  harness.send(kEventsQuery);
  harness.awaitDelay();
  harness.clock().advance(14.5);  // the store answers while the request is still live...
  ASSERT_TRUE(harness.waitForTask(5));
  harness.clock().advance(0.5);  // ...but the main queue only gets to it at the deadline
  harness.runReady();
  ASSERT_EQ(harness.lines().size(), 1u);
  EXPECT_EQ(harness.line(0), failureLine(R"("q1")", BridgeFailure::timeout()));
  EXPECT_EQ(harness.exitStatus(), 0);
}

TEST(NativeBridgeTest, BusyWhileRunningThenTheAnswer) {
  BridgeHarness harness(worldWithSlowEvents(5));
  harness.send(kEventsQuery);
  harness.send(R"({"id":"s","command":"status"})");
  harness.send(R"({"id":"l","command":"list-sources","entity":"events"})");
  harness.awaitDelay();
  ASSERT_EQ(harness.lines().size(), 2u);
  EXPECT_EQ(harness.line(0), failureLine(R"("s")", BridgeFailure::busy()));
  EXPECT_EQ(harness.line(1), failureLine(R"("l")", BridgeFailure::busy()));
  harness.advance(5);
  ASSERT_EQ(harness.awaitLines(3), 3u);
  EXPECT_EQ(harness.line(2).substr(0, 21), R"({"id":"q1","ok":true,)");
}

TEST(NativeBridgeTest, ShutdownWhileRunningAbandonsTheRequest) {
  BridgeHarness harness(worldWithSlowEvents(5));
  harness.send(kEventsQuery);
  harness.send(R"({"id":"bye","command":"shutdown"})");
  EXPECT_EQ(harness.exitStatus(), 0);
  harness.advance(5);
  harness.settle();
  ASSERT_EQ(harness.lines().size(), 1u);
  EXPECT_EQ(harness.line(0), R"({"id":"bye","ok":true,"result":{"stopped":true}})");
}

TEST(NativeBridgeTest, SameIdTwiceIsAnsweredTwice) {
  World world = worldWithSlowEvents(0);
  BridgeHarness harness(world);
  harness.send(kEventsQuery);
  ASSERT_EQ(harness.awaitLines(1), 1u);
  harness.send(kEventsQuery);
  ASSERT_EQ(harness.awaitLines(2), 2u);
  EXPECT_EQ(harness.line(0), harness.line(1));
}

// Creates the event store through a listing, so that its notifications are observed.
void createEventStore(BridgeHarness& harness) {
  harness.send(R"({"id":"l","command":"list-sources","entity":"events"})");
  ASSERT_EQ(harness.awaitLines(1), 1u);
}

// Posts store notifications and runs the reports they cause on the main queue: two per
// event-store notification ("events" and "reminders"), one per contact-store notification.
void postChanges(BridgeHarness& harness, platform::WorldChange::Store store, int count) {
  const std::size_t perNotification = store == platform::WorldChange::Store::events ? 2 : 1;
  for (int i = 0; i < count; ++i) {
    harness.postChange(store);
    std::size_t ran = 0;
    while (ran < perNotification) {
      ASSERT_TRUE(harness.waitForTask(5));
      ran += harness.runReady();
    }
  }
}

TEST(NativeBridgeTest, EventStoreChangeYieldsEventsThenReminders) {
  BridgeHarness harness(worldWithSlowEvents(0));
  createEventStore(harness);
  postChanges(harness, platform::WorldChange::Store::events, 3);
  harness.advance(0.49);
  EXPECT_EQ(harness.lines().size(), 1u);
  harness.advance(0.01);
  ASSERT_EQ(harness.lines().size(), 3u);
  EXPECT_EQ(harness.line(1), R"({"entity":"events","event":"changed"})");
  EXPECT_EQ(harness.line(2), R"({"entity":"reminders","event":"changed"})");
  postChanges(harness, platform::WorldChange::Store::events, 1);  // opens a new window
  harness.advance(0.5);
  EXPECT_EQ(harness.lines().size(), 5u);
}

TEST(NativeBridgeTest, NoChangeMessageBeforeTheStoreExistsOrAfterStop) {
  BridgeHarness harness(worldWithSlowEvents(0));
  harness.postChange(platform::WorldChange::Store::contacts);
  harness.settle();
  harness.advance(1);
  EXPECT_TRUE(harness.lines().empty());

  createEventStore(harness);
  postChanges(harness, platform::WorldChange::Store::events, 1);
  harness.send(R"({"id":"bye","command":"shutdown"})");
  harness.advance(1);
  EXPECT_EQ(harness.lines().size(), 2u);  // the listing and the shutdown answer
}

TEST(NativeBridgeTest, ChangeMessagesDoNotTouchTheRunningRequestOrIdleTimer) {
  BridgeHarness harness(worldWithSlowEvents(2));
  harness.send(R"({"id":"l","command":"list-sources","entity":"events"})");
  ASSERT_EQ(harness.awaitLines(1), 1u);  // listing is not delayed by the events fault
  harness.send(kEventsQuery);
  harness.awaitDelay();
  postChanges(harness, platform::WorldChange::Store::events, 1);
  harness.advance(0.5);
  ASSERT_EQ(harness.lines().size(), 3u);  // both change messages while the query runs
  harness.advance(1.5);
  ASSERT_EQ(harness.awaitLines(4), 4u);
  EXPECT_EQ(harness.line(3).substr(0, 21), R"({"id":"q1","ok":true,)");
}

}  // namespace
}  // namespace pemrix::testing
