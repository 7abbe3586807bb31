// Helpers for tests that put one request to the stores through the controller and look at
// the answer as JSON.
#pragma once

#include <ostream>

#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "bridge_harness.h"
#include "protocol/wire_json.h"
#include "sim/world.h"

namespace pemrix::testing {

// A world from the text of a world file; the test fails when it does not load.
inline platform::World worldFrom(const std::string& json) {
  auto loaded = platform::parseWorld(json);
  if (auto* problem = std::get_if<std::string>(&loaded)) {
    ADD_FAILURE() << "world does not load: " << *problem;
    return {};
  }
  return std::get<platform::World>(loaded);
}

// Sends `request` and returns the envelope written for it, parsed.
inline Json answer(BridgeHarness& harness, const std::string& request) {
  std::size_t before = harness.lines().size();
  harness.send(request);
  if (harness.awaitLines(before + 1) <= before) {
    ADD_FAILURE() << "no answer to " << request;
    return Json();
  }
  return Json::parse(harness.lines()[before]);
}

// The "items" of a successful query answer; an empty list (and a test failure) otherwise.
inline Json itemsOf(const Json& envelope) {
  if (!envelope.contains("result") || !envelope["result"].contains("items")) {
    ADD_FAILURE() << "not a query result: " << envelope.dump();
    return Json::array();
  }
  return envelope["result"]["items"];
}

// The "error" object of a failure envelope as written, comparable with the failure that
// should have been written.
struct WireError {
  std::string code;
  std::string message;

  friend bool operator==(const WireError& written, const BridgeFailure& expected) {
    return written.code == wireName(expected.code()) && written.message == expected.message();
  }
  friend std::ostream& operator<<(std::ostream& out, const WireError& error) {
    return out << error.code << ": " << error.message;
  }
};

inline std::ostream& operator<<(std::ostream& out, const BridgeFailure& failure) {
  return out << wireName(failure.code()) << ": " << failure.message();
}

// The "error" object of a failure envelope, or an empty one.
inline WireError failureOf(const Json& envelope) {
  if (!envelope.contains("error")) return {};
  return {envelope["error"]["code"], envelope["error"]["message"]};
}

}  // namespace pemrix::testing
