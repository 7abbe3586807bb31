// The simulator under load and faults, over real pipes: a flood of valid and hostile lines
// in random chunks (every line answered once, in order, as one JSON object per line, with
// flat memory), an over-long line at the end of a flood, the application closing its end
// of standard output, and a store that answers exactly at the request deadline.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "bridge_harness.h"
#include "platform/contact_store.h"
#include "sim_process.h"

namespace pemrix::testing {
namespace {

using Json = nlohmann::json;

// Whether the simulator runs under a sanitizer. AddressSanitizer keeps freed memory in
// quarantine and ThreadSanitizer keeps history for the memory a process touches, so there
// the child's peak grows with the volume of input however bounded its live memory is.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

constexpr std::size_t kLineLimit = 16384;
constexpr std::size_t kOutputLimit = 262144;

std::string statusLine(const std::string& id) {
  return R"({"id":")" + id + R"(","command":"status"})";
}

std::string refusedLine(const std::optional<std::string>& id) {
  return R"({"error":{"code":"invalid_request","message":"Choose a supported personal-source request."},"id":)" +
         (id ? "\"" + *id + "\"" : std::string("null")) + R"(,"ok":false})";
}

// `prefix`, then `fill` repeated, then `suffix`, exactly `bytes` long.
std::string lineOfLength(const std::string& prefix, char fill, const std::string& suffix,
                         std::size_t bytes) {
  return prefix + std::string(bytes - prefix.size() - suffix.size(), fill) + suffix;
}

std::string nested(std::size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

// One kind of input line: how to write it for an id, and whether it is accepted as a
// status request (answered with a result) or refused (answered with the failure, echoing
// the id only when the line is well-formed JSON with a valid top-level "id").
struct LineKind {
  const char* name;
  std::function<std::string(const std::string& id, std::mt19937_64& random)> make;
  enum Answer { status, refusedWithId, refusedWithoutId } answer;
};

const std::vector<LineKind>& lineKinds() {
  using R = std::mt19937_64;
  const std::string query = R"("command":"query","entity":"events","sourceIds":["c"],)"
                            R"("start":"2024-05-01T00:00:00Z","end":"2024-05-02T00:00:00Z",)";
  static const std::vector<LineKind> kinds = {
      {"status", [](auto& id, R&) { return statusLine(id); }, LineKind::status},
      {"status, CR LF", [](auto& id, R&) { return statusLine(id) + "\r"; }, LineKind::status},
      {"status, keys reordered, spaces",
       [](auto& id, R&) { return "\t {\"command\" : \"status\", \"id\":\"" + id + "\"} \r"; },
       LineKind::status},
      {"status at the line limit",
       [](auto& id, R&) {
         return lineOfLength(R"({"id":")" + id + R"(","command":"status")", ' ', "}", kLineLimit);
       },
       LineKind::status},
      {"ill-formed UTF-8",
       [](auto& id, R&) {
         return R"({"id":")" + id + "\",\"command\":\"status\",\"x\":\"\xC3\x28\"}";
       },
       LineKind::refusedWithoutId},
      {"overlong UTF-8",
       [](auto& id, R&) { return R"({"id":")" + id + "\",\"command\":\"\xC0\xAF\"}"; },
       LineKind::refusedWithoutId},
      {"encoded surrogate",
       [](auto& id, R&) {
         return R"({"id":")" + id + "\",\"x\":\"\xED\xA0\x80\",\"command\":\"status\"}";
       },
       LineKind::refusedWithoutId},
      {"lone high surrogate escape",
       [](auto& id, R&) { return R"({"id":")" + id + R"(","command":"status","x":"\ud800"})"; },
       LineKind::refusedWithoutId},
      {"lone low surrogate escape",
       [](auto& id, R&) { return R"({"id":")" + id + R"(","command":"st\udc00atus"})"; },
       LineKind::refusedWithoutId},
      {"raw NUL inside a string",
       [](auto& id, R&) {
         return R"({"id":")" + id + "\",\"command\":\"sta" + std::string(1, '\0') + "tus\"}";
       },
       LineKind::refusedWithoutId},
      {"raw NUL after the object",
       [](auto& id, R&) { return statusLine(id) + std::string(1, '\0'); },
       LineKind::refusedWithoutId},
      {"escaped NUL in an unknown key",
       [](auto& id, R&) { return R"({"id":")" + id + R"(","command":"status","x":"\u0000"})"; },
       LineKind::refusedWithId},
      {"byte-order mark", [](auto& id, R&) { return "\xEF\xBB\xBF" + statusLine(id); },
       LineKind::refusedWithoutId},
      {"deep nesting",
       [](auto& id, R& random) {
         const std::size_t depth = 1 + random() % 8000;
         return R"({"id":")" + id + R"(","command":"status","x":)" + nested(depth) + "}";
       },
       LineKind::refusedWithId},
      {"deep nesting, unclosed",
       [](auto& id, R& random) {
         return R"({"id":")" + id + R"(","x":)" + std::string(1 + random() % 16000, '[');
       },
       LineKind::refusedWithoutId},
      {"huge number",
       [query](auto& id, R&) { return R"({"id":")" + id + "\"," + query + R"("limit":1e400})"; },
       LineKind::refusedWithoutId},
      {"tiny number",
       [query](auto& id, R&) { return R"({"id":")" + id + "\"," + query + R"("limit":1e-400})"; },
       LineKind::refusedWithId},
      {"huge integer",
       [query](auto& id, R&) {
         return R"({"id":")" + id + "\"," + query + R"("limit":123456789012345678901234567890})";
       },
       LineKind::refusedWithId},
      {"duplicate id",
       [](auto& id, R&) {
         return R"({"id":")" + id + R"(","id":")" + id + R"(","command":"status"})";
       },
       LineKind::refusedWithoutId},
      {"duplicate command",
       [](auto& id, R&) {
         return R"({"id":")" + id + R"(","command":"status","command":"status"})";
       },
       LineKind::refusedWithId},
      {"empty line", [](auto&, R&) { return std::string(); }, LineKind::refusedWithoutId},
      {"not JSON", [](auto& id, R&) { return "status " + id; }, LineKind::refusedWithoutId},
      {"top-level array", [](auto& id, R&) { return "[" + statusLine(id) + "]"; },
       LineKind::refusedWithoutId},
      {"unknown command",
       [](auto& id, R&) { return R"({"id":")" + id + R"(","command":"Status"})"; },
       LineKind::refusedWithId},
      {"id of 65 characters",
       [](auto& id, R&) { return statusLine(lineOfLength(id, 'x', "", 65)); },
       LineKind::refusedWithoutId},
      {"unfinished object",
       [](auto& id, R&) { return R"({"id":")" + id + R"(","command":"status")"; },
       LineKind::refusedWithoutId},
      {"raw tab inside a string",
       [](auto& id, R&) { return R"({"id":")" + id + "\",\"command\":\"sta\ttus\"}"; },
       LineKind::refusedWithoutId},
      {"refused, CR LF",
       [](auto& id, R&) {
         return R"({"id":")" + id +
                R"(","command":"nope"})"
                "\r";
       },
       LineKind::refusedWithId},
      {"refused at the line limit",
       [](auto& id, R&) {
         return lineOfLength(R"({"id":")" + id + R"(","command":"status","x":")", 'a', "\"}",
                             kLineLimit);
       },
       LineKind::refusedWithId},
      {"garbage at the line limit",
       [](auto&, R& random) {
         std::string line(kLineLimit, ' ');
         for (char& c : line) {
           c = static_cast<char>(random() % 256);
           if (c == '\n') c = '{';
         }
         return line;
       },
       LineKind::refusedWithoutId},
  };
  return kinds;
}

struct Flood {
  std::string input;                    // every line with its newline
  std::vector<std::string> ids;         // the id of each line
  std::vector<LineKind::Answer> kinds;  // what each line must be answered with
};

// `lines` lines: about half status requests, the rest every refused kind; lines at the
// line limit are rarer, since they are 100 times longer than the rest.
Flood makeFlood(std::size_t lines, uint64_t seed) {
  std::mt19937_64 random(seed);
  const auto& kinds = lineKinds();
  Flood flood;
  for (std::size_t i = 0; i < lines; ++i) {
    std::size_t kind = random() % 2 == 0 ? 0 : random() % kinds.size();
    const std::string name = kinds[kind].name;
    if (name.find("limit") != std::string::npos && random() % 20 != 0) kind = 0;
    if (name.find("nesting") != std::string::npos && random() % 4 != 0) kind = 0;
    const std::string id = "n" + std::to_string(i);
    flood.input += kinds[kind].make(id, random) + "\n";
    flood.ids.push_back(id);
    flood.kinds.push_back(kinds[kind].answer);
  }
  return flood;
}

// Writes `input` in chunks of 1 byte to 64 KiB, spread evenly on a log scale so that
// single bytes and large bursts are both common; then closes the input.
void writeInChunks(SimProcess& sim, const std::string& input, uint64_t seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> scale(0, std::log(65536.0));
  std::size_t at = 0;
  while (at < input.size()) {
    const auto chunk = static_cast<std::size_t>(std::exp(scale(random)));
    const std::size_t size = std::min(std::max<std::size_t>(chunk, 1), input.size() - at);
    if (!sim.write(std::string_view(input).substr(at, size))) break;
    at += size;
  }
  sim.closeInput();
}

std::vector<std::string> splitLines(const std::string& output) {
  std::vector<std::string> lines;
  std::size_t from = 0, newline;
  while ((newline = output.find('\n', from)) != std::string::npos) {
    lines.push_back(output.substr(from, newline - from));
    from = newline + 1;
  }
  return lines;
}

// Checks every answer: one JSON object per line within the output limit, in input order.
void checkAnswers(const Flood& flood, const std::string& output) {
  ASSERT_FALSE(output.empty());
  EXPECT_EQ(output.back(), '\n');
  const std::vector<std::string> lines = splitLines(output);
  ASSERT_EQ(lines.size(), flood.ids.size());
  std::optional<Json> statusResult;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    ASSERT_LE(line.size(), kOutputLimit);
    const Json answer = Json::parse(line, nullptr, /*allow_exceptions=*/false);
    ASSERT_TRUE(answer.is_object()) << i << ": " << line;
    const std::string& id = flood.ids[i];
    switch (flood.kinds[i]) {
      case LineKind::status:
        ASSERT_EQ(answer.value("id", Json()), id) << line;
        ASSERT_EQ(answer.value("ok", Json()), true) << line;
        if (!statusResult) statusResult = answer["result"];
        ASSERT_EQ(answer["result"], *statusResult) << line;
        break;
      case LineKind::refusedWithId:
        ASSERT_EQ(line, refusedLine(id)) << i;
        break;
      case LineKind::refusedWithoutId:
        ASSERT_EQ(line, refusedLine(std::nullopt)) << i;
        break;
    }
  }
  ASSERT_TRUE(statusResult);
  EXPECT_TRUE((*statusResult)["permissions"].is_object()) << *statusResult;
}

struct FloodRun {
  double seconds = 0;
  long peakKiB = 0;
};

// Runs one simulator through a flood: a writer thread feeds it while this thread keeps
// its standard output drained (and samples its memory), until the process exits at the
// end of input.
FloodRun runFlood(const Flood& flood, uint64_t seed) {
  SimProcess sim;
  const auto start = std::chrono::steady_clock::now();
  std::thread writer([&] { writeInChunks(sim, flood.input, seed); });
  FloodRun run;
  std::optional<int> status;
  while (!status && std::chrono::steady_clock::now() - start < std::chrono::seconds(50)) {
    run.peakKiB = std::max(run.peakKiB, sim.runningPeakMemoryKiB());
    status = sim.waitForExit(0.02);
  }
  writer.join();
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(status, 0);
  EXPECT_EQ(sim.errors(), "");
  checkAnswers(flood, sim.output());
  return run;
}

TEST(StressProcessTest, EveryKindOfLineIsAnsweredOnceAndInOrder) {
  // Each kind on its own line once, written one byte at a time and then in one burst.
  const auto& kinds = lineKinds();
  std::mt19937_64 random(7);
  Flood flood;
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    flood.ids.push_back("k" + std::to_string(i));
    flood.input += kinds[i].make(flood.ids.back(), random) + "\n";
    flood.kinds.push_back(kinds[i].answer);
  }
  for (bool byteByByte : {true, false}) {
    SCOPED_TRACE(byteByByte ? "one byte per write" : "one write");
    SimProcess sim;
    std::thread writer([&] {
      if (byteByByte) {
        for (char c : flood.input) {
          if (!sim.write(std::string_view(&c, 1))) break;
        }
      } else {
        sim.write(flood.input);
      }
      sim.closeInput();
    });
    EXPECT_EQ(sim.waitForExit(50), 0);
    writer.join();
    EXPECT_EQ(sim.errors(), "");
    checkAnswers(flood, sim.output());
  }
}

TEST(StressProcessTest, FloodOfMixedLinesKeepsEveryGuaranteeAndFlatMemory) {
  // Sanitized builds run several times slower; a third of the flood still sends every
  // kind of line thousands of times.
  const Flood large = makeFlood(kSanitized ? 30000 : 100000, 2);
  const FloodRun largeRun = runFlood(large, 4);
  const double rate = static_cast<double>(large.ids.size()) / largeRun.seconds;
  std::printf("flood: %zu lines (%zu bytes) in %.2f s, %.0f lines/s; peak RSS %ld KiB\n",
              large.ids.size(), large.input.size(), largeRun.seconds, rate, largeRun.peakKiB);
  RecordProperty("lines_per_second", static_cast<int>(rate));
  RecordProperty("peak_kib_100k", static_cast<int>(largeRun.peakKiB));
  if (kSanitized) return;  // the sanitizer's own memory grows with the input
  const FloodRun smallRun = runFlood(makeFlood(10000, 1), 3);
  std::printf("flood of 10000 lines: peak RSS %ld KiB\n", smallRun.peakKiB);
  RecordProperty("peak_kib_10k", static_cast<int>(smallRun.peakKiB));
  // Ten times the input may cost no more than a little allocator slack: a leak of a few
  // bytes per line would show as hundreds of KiB.
  EXPECT_LE(largeRun.peakKiB, smallRun.peakKiB + 512);
}

TEST(StressProcessTest, OverLongLineAfterAFloodEndsTheProcessAfterTheLinesBeforeIt) {
  Flood flood = makeFlood(2000, 5);
  std::string input = flood.input;
  input += std::string(kLineLimit + 1, 'x') + "\n";
  for (int i = 0; i < 100; ++i) input += statusLine("after" + std::to_string(i)) + "\n";
  flood.ids.push_back("");
  flood.kinds.push_back(LineKind::refusedWithoutId);  // the over-long line's answer
  SimProcess sim;
  std::thread writer([&] { writeInChunks(sim, input, 6); });
  EXPECT_EQ(sim.waitForExit(50), 0);
  writer.join();
  EXPECT_EQ(sim.errors(), "");
  checkAnswers(flood, sim.output());  // nothing for the lines after the over-long one
}

// A query answered 0.5 s after it arrives (the world's event enumeration is delayed).
const char* kSlowQueryWorld = R"({"calendars":[{"id":"c","title":"C"}],)"
                              R"("faults":{"delaySeconds":{"events":0.5}}})";
const char* kSlowQuery = R"({"id":"q","command":"query","entity":"events","sourceIds":["c"],)"
                         R"("start":"2024-05-01T00:00:00Z","end":"2024-05-02T00:00:00Z"})"
                         "\n";

TEST(StressProcessTest, ClosedStandardOutputEndsTheProcessWithStatusZero) {
  enum class When { beforeAnyAnswer, whileBlockedOnAFullPipe, whileAQueryRuns };
  for (When when : {When::beforeAnyAnswer, When::whileBlockedOnAFullPipe, When::whileAQueryRuns}) {
    SCOPED_TRACE(static_cast<int>(when));
    SimProcess sim(when == When::whileAQueryRuns ? std::optional<std::string>(kSlowQueryWorld)
                                                 : std::nullopt);
    std::string requests;
    if (when == When::whileAQueryRuns) requests = kSlowQuery;
    for (int i = 0; i < 5000; ++i) requests += statusLine("s" + std::to_string(i)) + "\n";
    if (when != When::whileBlockedOnAFullPipe) sim.closeOutput();
    // The writer stops when the pipe breaks: the child has gone. While the query runs the
    // status requests are answered "busy", and the first of those answers already fails.
    std::thread writer([&] {
      for (int round = 0; round < 20 && sim.write(requests); ++round) {
      }
    });
    if (when == When::whileBlockedOnAFullPipe) {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));  // answers fill the pipe
      EXPECT_FALSE(sim.waitForExit(0));
      sim.closeOutput();
    }
    EXPECT_EQ(sim.waitForExit(10), 0);
    writer.join();
    EXPECT_EQ(sim.errors(), "");
  }
}

// The answer of a running query is the first write after the application went away.
TEST(StressProcessTest, QueryAnswerToAClosedStandardOutputEndsTheProcessWithStatusZero) {
  SimProcess sim(kSlowQueryWorld);
  ASSERT_TRUE(sim.write(kSlowQuery));
  sim.closeOutput();
  EXPECT_EQ(sim.waitForExit(10), 0);
  EXPECT_EQ(sim.errors(), "");
}

TEST(StressProcessTest, StoreAnsweringAtTheDeadlineGivesExactlyOneAnswer) {
  const std::string world = R"({"calendars":[{"id":"c","title":"C"}],)"
                            R"("events":[{"calendar":"c","id":"e","title":"T",)"
                            R"("start":"2024-05-01T08:00:00Z","end":"2024-05-01T09:00:00Z"}],)"
                            R"("faults":{"delaySeconds":{"events":15}}})";
  const std::string query = R"({"id":"q","command":"query","entity":"events","sourceIds":["c"],)"
                            R"("start":"2024-05-01T00:00:00Z","end":"2024-05-02T00:00:00Z"})"
                            "\n";
  const std::string timeout =
      R"({"error":{"code":"timeout","message":"macOS took too long to respond. Try again."},"id":"q","ok":false})";
  constexpr int kRuns = 16;
  std::vector<std::unique_ptr<SimProcess>> sims;
  for (int i = 0; i < kRuns; ++i) {
    sims.push_back(std::make_unique<SimProcess>(world));
    ASSERT_TRUE(sims.back()->write(query));
  }
  int timedOut = 0;
  for (auto& sim : sims) {
    const std::vector<std::string> lines = sim->readLines(1, 25);
    ASSERT_EQ(lines.size(), 1u);
    if (lines[0] == timeout) {
      ++timedOut;
      EXPECT_EQ(sim->waitForExit(5), 0);
    } else {
      EXPECT_EQ(lines[0].substr(0, 20), R"({"id":"q","ok":true,)") << lines[0];
      sim->closeInput();
      EXPECT_EQ(sim->waitForExit(5), 0);
    }
    EXPECT_EQ(splitLines(sim->output()).size(), 1u) << sim->output();
    EXPECT_EQ(sim->errors(), "");
  }
  std::printf("deadline race: %d of %d runs timed out, %d answered\n", timedOut, kRuns,
              kRuns - timedOut);
}

// A world with calendars, reminder lists and contact accounts, one of which fails, and
// contacts that must be asked for.
platform::World storesWorld() {
  platform::World world;
  using platform::Authorization;
  world.authorization = {Authorization::fullAccess, Authorization::fullAccess,
                         Authorization::notDetermined};
  world.accessRequests[2] = {Authorization::limited, false, 0, true};
  world.calendars = {{"cal", "Home", platform::CalendarEntityType::events},
                     {"list", "Errands", platform::CalendarEntityType::reminders}};
  world.containers = {{"work", "Work"}, {"broken", "Broken"}};
  world.faults.contactsErrorIn = {"broken"};
  for (int i = 0; i < 50; ++i) {
    world.contacts.push_back({"work", "C" + std::to_string(i), "Jos\u00e9 " + std::to_string(i),
                              "Garc\u00eda", "Acme", "Engineer"});
  }
  return world;
}

// A random store request (or status), valid or not, with id `id`.
std::string randomStoreRequest(const std::string& id, std::mt19937_64& random) {
  static const std::vector<std::string> commands = {"status", "list-sources", "request-permission",
                                                    "query"};
  static const std::vector<std::string> entities = {"events", "reminders", "contacts", "Events"};
  static const std::vector<std::string> sources = {
      R"(["cal"])", R"(["list"])", R"(["work"])", R"(["work","broken"])", R"(["gone"])", "[]"};
  static const std::vector<std::string> texts = {"jos",      "  garc\u00cda  ",    "x", "acme eng",
                                                 "\u200bjo", std::string(161, 'a')};
  const std::string& command = commands[random() % commands.size()];
  std::string line = R"({"id":")" + id + R"(","command":")" + command + "\"";
  if (command == "status") return line + "}";
  const std::string& entity = entities[random() % entities.size()];
  line += R"(,"entity":")" + entity + "\"";
  if (command != "query") return line + "}";
  line += R"(,"sourceIds":)" + sources[random() % sources.size()];
  line += R"(,"limit":)" + std::to_string(random() % 102);
  if (random() % 2 == 0) return line + R"(,"query":")" + texts[random() % texts.size()] + "\"}";
  return line + R"(,"start":"2024-05-01T00:00:00Z","end":"2024-05-0)" +
         std::to_string(1 + random() % 9) + R"(T00:00:00Z"})";
}

// Under a stream of store requests of every kind, the platform is only ever read: no
// call outside the reading operations, every contact read names one listed container, and
// every request is answered once under its own id.
TEST(StressProcessTest, StoreRequestsOnlyReadAndReadContactsOfListedContainers) {
  BridgeHarness harness(storesWorld());
  std::mt19937_64 random(11);
  constexpr int kRequests = 2000;
  for (int i = 0; i < kRequests; ++i) {
    const std::string id = "r" + std::to_string(i);
    harness.send(randomStoreRequest(id, random));
    ASSERT_EQ(harness.awaitLines(i + 1), static_cast<std::size_t>(i + 1)) << id;
    const Json answer = Json::parse(harness.line(i));
    ASSERT_EQ(answer.value("id", Json()), id) << harness.line(i);
    harness.advance(0.1);  // well inside the idle period
  }
  EXPECT_FALSE(harness.exitStatus());
  const SystemRecord record = harness.record();
  const std::set<std::string> reads = {
      "calendarStoreCreated",    "contactStoreCreated",          "calendars",
      "enumerateEvents",         "enumerateIncompleteReminders", "containers",
      "enumerateContacts",       "requestAccess(contacts)",      "requestAccess(events)",
      "requestAccess(reminders)"};
  for (const std::string& call : record.calls) EXPECT_TRUE(reads.count(call)) << call;
  EXPECT_LE(record.eventStoresCreated, 1);
  EXPECT_LE(record.contactStoresCreated, 1);
  // Contacts are read one container at a time, and only containers the store listed.
  std::set<std::string> containers;
  for (const platform::WorldContainer& container : storesWorld().containers) {
    containers.insert(container.id);
  }
  ASSERT_FALSE(record.contactFetches.empty());
  for (const std::string& container : record.contactFetches) {
    EXPECT_TRUE(containers.count(container)) << container;
  }
}

}  // namespace
}  // namespace pemrix::testing
