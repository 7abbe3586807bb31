// The simulator as a child process over real pipes: start-up, line framing, ordering,
// end of input, and the real clock behind deadlines and the idle exit.
#include <gtest/gtest.h>

#include <string>

#include "sim_process.h"

namespace pemrix::testing {
namespace {

const std::string kRefusedNoId =
    R"({"error":{"code":"invalid_request","message":"Choose a supported personal-source request."},"id":null,"ok":false})";

std::string statusLine(const std::string& id) {
  return R"({"id":")" + id + R"(","command":"status"})";
}

// A status request padded with spaces to exactly `bytes` bytes.
std::string paddedStatus(std::size_t bytes) {
  std::string line = R"({"id":"big","command":"status")";
  line.append(bytes - line.size() - 1, ' ');
  return line + "}";
}

TEST(ProcessTest, ArgumentsExitWith64AndWriteNothing) {
  SimProcess sim(std::nullopt, {"--help"});
  EXPECT_EQ(sim.waitForExit(10), 64);
  EXPECT_EQ(sim.output(), "");
  EXPECT_EQ(sim.errors(), "");
}

TEST(ProcessTest, RequestsInOneWriteAreAnsweredInOrderAndEndOfInputExitsZero) {
  SimProcess sim;
  ASSERT_TRUE(sim.write(statusLine("a") + "\n\n" + statusLine("b") + "\r\n" + "{\"id\":\"c\"}"));
  sim.closeInput();
  EXPECT_EQ(sim.waitForExit(10), 0);
  auto lines = sim.readLines(3, 1);
  ASSERT_EQ(lines.size(), 3u);  // the last line has no newline and is dropped
  EXPECT_EQ(lines[0].substr(0, 20), R"({"id":"a","ok":true,)");
  EXPECT_EQ(lines[1], kRefusedNoId);
  EXPECT_EQ(lines[2].substr(0, 20), R"({"id":"b","ok":true,)");  // CR is JSON white space
  EXPECT_EQ(sim.errors(), "");
}

TEST(ProcessTest, BadInputIsRefusedAndTheBridgeGoesOn) {
  using namespace std::string_literals;
  const std::vector<std::string> bad = {
      std::string("{\"id\":\"a\",\"command\":\"st\xff\xfe"
                  "atus\"}"),                           // invalid UTF-8
      R"({"id":"a","command":"status","x":"\ud800"})",  // lone surrogate
      std::string(5000, '[') + std::string(5000, ']'),  // deep nesting
      R"({"id":"a","command":"query","entity":"contacts","sourceIds":["p"],"query":"ab","limit":1e999})",
      R"({"id":"a","command":"status","id":"b"})",  // duplicate keys
      "{\"id\":\"a\",\0\"command\":\"status\"}"s,   // NUL byte
      "\"status\"",
      "42",
      "null",
      "[]",
      R"([{"id":"a","command":"status"}])",
  };
  SimProcess sim;
  std::string input;
  for (const std::string& line : bad) input += line + "\n";
  ASSERT_TRUE(sim.write(input + statusLine("after") + "\n"));
  auto lines = sim.readLines(bad.size() + 1, 10);
  ASSERT_EQ(lines.size(), bad.size() + 1);
  for (std::size_t i = 0; i < bad.size(); ++i) {
    EXPECT_NE(lines[i].find(R"("code":"invalid_request")"), std::string::npos) << i;
  }
  EXPECT_EQ(lines.back().substr(0, 24), R"({"id":"after","ok":true,)");
  sim.closeInput();
  EXPECT_EQ(sim.waitForExit(10), 0);
  EXPECT_EQ(sim.errors(), "");
}

TEST(ProcessTest, LineOfExactlyTheLimitIsHandled) {
  SimProcess sim;
  ASSERT_TRUE(sim.write(paddedStatus(16384) + "\n"));
  auto lines = sim.readLines(1, 10);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(0, 22), R"({"id":"big","ok":true,)");
  sim.closeInput();
  EXPECT_EQ(sim.waitForExit(10), 0);
}

TEST(ProcessTest, OverLongLineIsRefusedWithoutIdAndEndsTheProcess) {
  for (bool withNewline : {true, false}) {
    SimProcess sim;
    ASSERT_TRUE(sim.write(paddedStatus(16385) + (withNewline ? "\n" : "")));
    // No newline and no end of input are needed: 16385 bytes are enough to know.
    EXPECT_EQ(sim.waitForExit(10), 0) << withNewline;
    EXPECT_EQ(sim.output(), kRefusedNoId + "\n");
    EXPECT_EQ(sim.errors(), "");
  }
}

TEST(ProcessTest, EndOfInputWhileAQueryRunsExitsWithoutAnswer) {
  SimProcess sim(R"({"calendars":[{"id":"c","title":"C","entityType":"events"}],)"
                 R"("faults":{"delaySeconds":{"events":30}}})");
  ASSERT_TRUE(sim.write(R"({"id":"q","command":"query","entity":"events","sourceIds":["c"],)"
                        R"("start":"2024-05-01T00:00:00Z","end":"2024-05-02T00:00:00Z"})"
                        "\n"));
  sim.closeInput();
  EXPECT_EQ(sim.waitForExit(10), 0);
  EXPECT_EQ(sim.output(), "");
}

TEST(ProcessTest, BadWorldFileExitsWith78AndOneLineOnStderr) {
  SimProcess sim(R"({"calendars":[],"surprise":1})");
  EXPECT_EQ(sim.waitForExit(10), 78);
  EXPECT_EQ(sim.output(), "");
  std::string errors = sim.errors();
  EXPECT_NE(errors.find("surprise"), std::string::npos) << errors;
  EXPECT_EQ(errors.find('\n'), errors.size() - 1) << errors;
}

// Real-clock tests: each takes as long as the allowance it checks.
TEST(SlowProcessTest, PermissionRequestThatNeverCompletesTimesOutAfterTwoMinutes) {
  SimProcess sim(R"({"authorization":{"contacts":0},)"
                 R"("accessRequests":{"contacts":{"completes":false}}})");
  ASSERT_TRUE(sim.write(R"({"id":"p","command":"request-permission","entity":"contacts"})"
                        "\n"));
  auto lines = sim.readLines(1, 118);
  EXPECT_TRUE(lines.empty());
  lines = sim.readLines(1, 10);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(
      lines[0],
      R"({"error":{"code":"timeout","message":"macOS took too long to respond. Try again."},"id":"p","ok":false})");
  EXPECT_EQ(sim.waitForExit(5), 0);
}

TEST(SlowProcessTest, SilentInputEndsTheProcessAfterThirtySeconds) {
  SimProcess sim;
  EXPECT_FALSE(sim.waitForExit(28));
  EXPECT_EQ(sim.waitForExit(6), 0);
  EXPECT_EQ(sim.output(), "");
  EXPECT_EQ(sim.errors(), "");
}

}  // namespace
}  // namespace pemrix::testing
