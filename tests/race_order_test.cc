// The controller on virtual time under every ordering of the five things that race with
// a running store request: the store's completion reaching the main queue (C), the
// deadline timer (D), the idle timer (I), a "shutdown" line (S) and the end of input (E,
// the input reader's call to stop). Each ordering is played on a fresh bridge and its
// output compared with what the rules of the controller predict: one answer or its
// documented alternative, nothing after the process ended, exit status 0, and exactly one
// exit.
//
// BridgeHarness records every call of the exit hook, so that a second exit would show.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bridge/native_bridge.h"
#include "bridge_harness.h"
#include "platform/main_queue.h"
#include "sim/simulated_system.h"
#include "sim/world.h"

namespace pemrix::testing {
namespace {

using platform::World;

constexpr double kDeadline = 15;  // the allowance of a query
constexpr double kIdle = 30;      // the idle period after an answer

const char* kQuery = R"({"id":"q","command":"query","entity":"events","sourceIds":["cal"],)"
                     R"("start":"2024-05-01T00:00:00Z","end":"2024-05-02T00:00:00Z"})";
const std::string kResult =
    R"({"id":"q","ok":true,"result":{"items":[{"allDay":false,"end":"2024-05-01T09:00:00Z",)"
    R"("id":"e@2024-05-01T08:00:00Z","sourceId":"cal","start":"2024-05-01T08:00:00Z",)"
    R"("title":"T"}],"truncated":false}})";
const std::string kTimeout =
    R"({"error":{"code":"timeout","message":"macOS took too long to respond. Try again."},)"
    R"("id":"q","ok":false})";
const std::string kStopped = R"({"id":"bye","ok":true,"result":{"stopped":true}})";

enum class Event { completion, deadline, idle, shutdown, endOfInput };

// When the store answers and when its completion runs on the main queue.
enum class Timing {
  // The store answers at 10 s, before any other event; its completion waits on the main
  // queue until its turn (so a stop before it finds it in flight).
  earlyInFlight,
  // The store answers at 10 s when the completion's turn comes; after a stop it finds its
  // lifetime cancelled and answers nothing.
  earlyAtItsTurn,
  // The store answers at 14.5 s, before any other event, and the main queue gets to its
  // completion exactly at the deadline, before the deadline timer.
  atTheDeadline,
  // The store would answer at 20 s, after the deadline timer (the orderings with D before
  // C): the lifetime is cancelled by then, so it answers nothing.
  afterTheDeadline,
};

const char* timingName(Timing timing) {
  switch (timing) {
    case Timing::earlyInFlight:
      return "early, in flight";
    case Timing::earlyAtItsTurn:
      return "early, at its turn";
    case Timing::atTheDeadline:
      return "at the deadline";
    case Timing::afterTheDeadline:
      return "after the deadline";
  }
  return "";
}

double storeAnswerMoment(Timing timing) {
  switch (timing) {
    case Timing::earlyInFlight:
    case Timing::earlyAtItsTurn:
      return 10;
    case Timing::atTheDeadline:
      return 14.5;
    case Timing::afterTheDeadline:
      return 20;
  }
  return 0;
}

std::string orderName(const std::array<Event, 5>& order) {
  std::string name;
  for (Event event : order) name += "CDISE"[static_cast<int>(event)];
  return name;
}

// What the controller's rules predict for one ordering: the lines written, in order.
std::vector<std::string> predictedLines(const std::array<Event, 5>& order, Timing timing) {
  std::vector<std::string> lines;
  bool stopped = false;
  bool answered = false;
  for (Event event : order) {
    switch (event) {
      case Event::shutdown:  // answered even while the query runs; the query is abandoned
        if (!stopped) lines.push_back(kStopped);
        stopped = true;
        break;
      case Event::endOfInput:
        stopped = true;
        break;
      case Event::deadline:  // the timer is pending until an answer is accepted
        if (stopped || answered) break;
        lines.push_back(kTimeout);
        stopped = true;
        break;
      case Event::completion:
        if (stopped) break;  // dropped on the queue, or never sent by the store
        if (timing == Timing::atTheDeadline) {
          lines.push_back(kTimeout);  // the late answer is dropped; the timer answers
          stopped = true;
        } else if (timing != Timing::afterTheDeadline) {
          lines.push_back(kResult);
          answered = true;
        }
        break;
      case Event::idle:  // armed only by an accepted answer
        if (answered) stopped = true;
        break;
    }
  }
  return lines;
}

// Plays one event on the bridge.
void play(BridgeHarness& harness, Event event, Timing timing, double& answerMoment) {
  switch (event) {
    case Event::shutdown:
      harness.bridge().receive(R"({"id":"bye","command":"shutdown"})");
      break;
    case Event::endOfInput:
      harness.bridge().stop();  // what the input reader does at the end of input
      break;
    case Event::deadline:
      harness.advanceTo(kDeadline);
      break;
    case Event::completion:
      if (timing == Timing::earlyAtItsTurn) {
        harness.moveClockTo(storeAnswerMoment(timing));
        if (!harness.exitStatus()) {
          ASSERT_TRUE(harness.waitForTask(5));
        }
      }
      if (timing == Timing::atTheDeadline) harness.moveClockTo(kDeadline);
      if (timing == Timing::afterTheDeadline) harness.advanceTo(storeAnswerMoment(timing));
      harness.settle();
      answerMoment = harness.now();
      break;
    case Event::idle:
      harness.advanceTo(answerMoment + kIdle);
      break;
  }
}

// Why an ordering cannot happen, or nothing when it can.
std::optional<std::string> impossible(const std::array<Event, 5>& order, Timing timing) {
  const auto at = [&order](Event event) {
    return std::find(order.begin(), order.end(), event) - order.begin();
  };
  // The idle timer is cancelled when the store request starts and armed again only by its
  // answer, so it cannot run before the completion.
  if (at(Event::idle) < at(Event::completion)) return "idle timer before the completion";
  // A completion that follows the deadline timer is one the store would send after the
  // deadline; a completion that precedes it is sent before the deadline.
  const bool completionFirst = at(Event::completion) < at(Event::deadline);
  if (completionFirst == (timing == Timing::afterTheDeadline)) return "timing against order";
  return std::nullopt;
}

World oneEventWorld(double storeDelay) {
  World world;
  world.calendars.push_back({"cal", "Home", platform::CalendarEntityType::events});
  platform::WorldEvent event;
  event.calendar = "cal";
  event.id = "e";
  event.title = "T";
  event.start = harnessStart() + std::chrono::hours(8);
  event.end = harnessStart() + std::chrono::hours(9);
  world.events.push_back(event);
  world.faults.eventsDelay = storeDelay;
  return world;
}

void runOrdering(const std::array<Event, 5>& order, Timing timing) {
  SCOPED_TRACE(orderName(order) + ", store answer " + timingName(timing));
  BridgeHarness harness(oneEventWorld(storeAnswerMoment(timing)));
  harness.bridge().receive(kQuery);
  ASSERT_TRUE(harness.clock().waitForSleepers(1, 5)) << "the store never reached its delay";
  if (timing == Timing::earlyInFlight || timing == Timing::atTheDeadline) {
    harness.moveClockTo(storeAnswerMoment(timing));  // the store answers; nothing runs yet
    ASSERT_TRUE(harness.waitForTask(5));
  }
  double answerMoment = 0;
  for (Event event : order) {
    play(harness, event, timing, answerMoment);
    if (::testing::Test::HasFatalFailure()) return;
  }
  EXPECT_EQ(harness.texts(), predictedLines(order, timing));
  EXPECT_EQ(harness.exits(), std::vector<int>{0});
  // Nothing more is written and nobody exits again, whatever comes later.
  const std::size_t written = harness.texts().size();
  harness.advanceTo(harness.now() + 300);
  harness.settle();
  harness.bridge().receive(R"({"id":"late","command":"status"})");
  harness.bridge().stop();
  EXPECT_EQ(harness.texts().size(), written);
  EXPECT_EQ(harness.exits(), std::vector<int>{0});
}

TEST(RaceOrderTest, EveryOrderingOfCompletionTimersShutdownAndEndOfInput) {
  std::array<Event, 5> order = {Event::completion, Event::deadline, Event::idle, Event::shutdown,
                                Event::endOfInput};
  int played = 0;
  int skipped = 0;
  do {
    for (Timing timing : {Timing::earlyInFlight, Timing::earlyAtItsTurn, Timing::atTheDeadline,
                          Timing::afterTheDeadline}) {
      if (impossible(order, timing)) {
        ++skipped;
        continue;
      }
      runOrdering(order, timing);
      ++played;
    }
  } while (std::next_permutation(order.begin(), order.end()));
  // 120 orderings: in 60 the idle timer comes before the completion, which cannot
  // happen. Of the other 60, 40 have the completion before the deadline (three timings
  // each) and 20 the deadline first (one timing).
  EXPECT_EQ(played, 40 * 3 + 20);
  EXPECT_EQ(skipped, 120 * 4 - played);
  RecordProperty("orderings_played", played);
}

// A store change notification during a running query: its "changed" messages are written
// when their half-second window closes, before or after the answer, and never after the
// process has ended (by the deadline or by "shutdown").
TEST(RaceOrderTest, ChangeNotificationsDuringARequest) {
  const std::string events = R"({"entity":"events","event":"changed"})";
  const std::string reminders = R"({"entity":"reminders","event":"changed"})";
  struct Case {
    const char* name;
    double storeDelay;
    double postAt;
    std::optional<double> shutdownAt;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"window closes before the answer", 10, 1, std::nullopt, {events, reminders, kResult}},
      {"window closes after the answer", 10, 9.8, std::nullopt, {kResult, events, reminders}},
      {"window open at the deadline", 20, 14.8, std::nullopt, {kTimeout}},
      {"window open at shutdown", 10, 1, 1.2, {kStopped}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BridgeHarness harness(oneEventWorld(c.storeDelay));
    harness.bridge().receive(kQuery);  // creates the event store, which is then observed
    ASSERT_TRUE(harness.clock().waitForSleepers(1, 5));
    harness.advanceTo(c.postAt);
    harness.postChange(platform::WorldChange::Store::events);
    for (std::size_t ran = 0; ran < 2;) {  // "events" and "reminders" reach the queue
      ASSERT_TRUE(harness.waitForTask(5));
      ran += harness.runReady();
    }
    if (c.shutdownAt) {
      harness.advanceTo(*c.shutdownAt);
      harness.bridge().receive(R"({"id":"bye","command":"shutdown"})");
    }
    harness.advanceTo(c.storeDelay - 0.01);  // windows and timers due before the store answers
    harness.moveClockTo(c.storeDelay);
    if (c.storeDelay < kDeadline && !harness.exitStatus()) {
      ASSERT_TRUE(harness.waitForTask(5));
    }
    harness.settle();
    harness.advanceTo(100);  // any window, the deadline and the idle timer have run
    harness.settle();
    EXPECT_EQ(harness.texts(), c.expected);
    EXPECT_EQ(harness.exits(), std::vector<int>{0});
  }
}

}  // namespace
}  // namespace pemrix::testing
