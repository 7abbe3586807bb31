// The wire JSON writer: exact text for each kind of value, refusals, and agreement of
// `encodedSize` with the written text.
#include "protocol/wire_json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace pemrix {
namespace {

struct WriteCase {
  Json value;
  std::string text;
};

void expectWritten(const WriteCase& c) {
  const std::optional<std::string> written = writeJson(c.value);
  ASSERT_TRUE(written.has_value()) << c.text;
  EXPECT_EQ(*written, c.text);
  EXPECT_EQ(encodedSize(c.value), c.text.size()) << c.text;
}

TEST(WireJson, WritesScalars) {
  const WriteCase cases[] = {
      {nullptr, "null"},
      {true, "true"},
      {false, "false"},
      {0, "0"},
      {-5, "-5"},
      {std::numeric_limits<int64_t>::min(), "-9223372036854775808"},
      {std::numeric_limits<uint64_t>::max(), "18446744073709551615"},
  };
  for (const WriteCase& c : cases) expectWritten(c);
}

TEST(WireJson, EscapesStrings) {
  const WriteCase cases[] = {
      {"", R"("")"},
      {"plain", R"("plain")"},
      {"a/b", R"("a\/b")"},
      {"</script>", R"("<\/script>")"},
      {"say \"hi\"", R"("say \"hi\"")"},
      {"back\\slash", R"("back\\slash")"},
      {"\b\f\n\r\t", R"("\b\f\n\r\t")"},
      {std::string("\0\x01\x1f", 3), R"("\u0000\u0001\u001f")"},
      {"\x7F", "\"\x7F\""},                // DEL is written raw
      {"Jos\xC3\xA9", "\"Jos\xC3\xA9\""},  // non-ASCII as UTF-8
      {"\xE2\x80\xA8\xF0\x9F\x91\x8D", "\"\xE2\x80\xA8\xF0\x9F\x91\x8D\""},
  };
  for (const WriteCase& c : cases) expectWritten(c);
}

TEST(WireJson, WritesContainersCompactWithSortedKeys) {
  const WriteCase cases[] = {
      {Json::object(), "{}"},
      {Json::array(), "[]"},
      {Json{{"ok", true}, {"id", "r/1"}, {"error", {{"message", "m"}, {"code", "c"}}}},
       R"({"error":{"code":"c","message":"m"},"id":"r\/1","ok":true})"},
      {Json{{"b", Json::array({1, "x", nullptr, Json::object()})}, {"a", 2}},
       R"({"a":2,"b":[1,"x",null,{}]})"},
      {Json{{"B", 1}, {"a", 2}, {"\xC3\xA9", 3}, {"a/", 4}}, R"({"B":1,"a":2,"a\/":4,"é":3})"},
  };
  for (const WriteCase& c : cases) expectWritten(c);
}

TEST(WireJson, RefusesWhatCannotBeWritten) {
  const Json cases[] = {
      1.5,  // no message carries a floating-point number, not even a whole one
      3.0,
      std::nan(""),
      std::numeric_limits<double>::infinity(),
      "a\xFF",
      "\xED\xA0\x80",                            // a surrogate
      "\xC3",                                    // cut off
      Json{{"ok", "fine"}, {"bad\xC0\x80", 1}},  // in a key
      Json::array({1, 2, Json{{"deep", Json::array({std::nan("")})}}}),
      Json::binary({1, 2, 3}),
  };
  for (const Json& value : cases) {
    EXPECT_FALSE(writeJson(value).has_value());
    EXPECT_FALSE(encodedSize(value).has_value());
  }
}

}  // namespace
}  // namespace pemrix
