// Parsing and validating request lines, the id echoed for refused lines, and the
// identifier rules.
#include "protocol/native_request.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>

#include "protocol/request_reader.h"
#include "protocol/wire_json.h"

namespace pemrix {
namespace {

using namespace std::chrono_literals;

const std::string kWindow = R"("start":"2024-05-01T00:00:00Z","end":"2024-05-08T00:00:00Z")";

// An events query whose members after "command" are `rest`.
std::string eventsQuery(const std::string& rest) {
  return R"({"id":"q1","command":"query","entity":"events",)" + rest + "}";
}
// The window of an accepted events or reminders query.
const CalendarQuery& windowOf(const NativeRequest& request) {
  if (const auto* events = std::get_if<EventsQuery>(request.storeRequest())) return *events;
  return std::get<RemindersQuery>(*request.storeRequest());
}
std::string contactsQuery(const std::string& rest) {
  return R"({"id":"q1","command":"query","entity":"contacts","sourceIds":["c"],)" + rest + "}";
}
// A JSON string holding `text`, escaped by the wire writer.
std::string quoted(const std::string& text) {
  return writeJson(Json(text)).value();
}

std::string sourceIdsOf(int count) {
  std::string list = "[";
  for (int i = 0; i < count; ++i) list += (i ? ",\"s" : "\"s") + std::to_string(i) + "\"";
  return list + "]";
}

void expectRefused(const std::string& line) {
  EXPECT_FALSE(NativeRequest::parse(line).has_value()) << line;
}

void expectAccepted(const std::string& line) {
  EXPECT_TRUE(NativeRequest::parse(line).has_value()) << line;
}

TEST(ParseRequest, StatusNeedsOnlyIdAndCommand) {
  const std::optional<NativeRequest> request =
      NativeRequest::parse(R"({"id":"r-1","command":"status"})");
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(*request, (NativeRequest{"r-1", StatusRequest{}}));
  EXPECT_EQ(request->command(), Command::status);
}

TEST(ParseRequest, CommandsWithoutEntityRefuseEveryOtherKey) {
  for (const std::string command : {"status", "shutdown"}) {
    const std::string head = R"({"id":"r","command":")" + command + "\"";
    expectAccepted(head + "}");
    expectRefused(head + R"(,"entity":"events"})");
    expectRefused(head + R"(,"limit":null})");
    expectRefused(head + R"(,"limit":5})");
    expectRefused(head + R"(,"extra":1})");
  }
}

TEST(ParseRequest, EntityCommandsNeedOneOfTheThreeEntities) {
  for (const std::string command : {"list-sources", "request-permission"}) {
    const std::string head = R"({"id":"r","command":")" + command + "\"";
    const std::optional<NativeRequest> request =
        NativeRequest::parse(head + R"(,"entity":"reminders"})");
    ASSERT_TRUE(request.has_value() && request->storeRequest());
    EXPECT_EQ(entityOf(*request->storeRequest()), NativeEntity::reminders);
    EXPECT_EQ(wireName(request->command()), command);
    for (const std::string entity : {R"("events")", R"("contacts")"}) {
      expectAccepted(head + ",\"entity\":" + entity + "}");
    }
    for (const std::string entity : {"null", R"("EVENTS")", R"("event")", R"("")", "1", "[]"}) {
      expectRefused(head + ",\"entity\":" + entity + "}");
    }
    expectRefused(head + "}");
    expectRefused(head + R"(,"entity":"events","limit":5})");
  }
}

TEST(ParseRequest, RequestIdsFollowThePattern) {
  const std::string longest(64, 'a');
  const struct {
    std::string id;
    bool accepted;
  } cases[] = {
      {quoted(longest), true},
      {quoted("A-z_0-9"), true},
      {quoted(longest + "a"), false},
      {quoted(""), false},
      {quoted("a b"), false},
      {quoted("a.b"), false},
      {quoted("caf\xC3\xA9"), false},
      {quoted("abc\n"), false},
      {"12", false},
      {"null", false},
  };
  for (const auto& c : cases) {
    const std::string line = R"({"command":"status","id":)" + c.id + "}";
    EXPECT_EQ(NativeRequest::parse(line).has_value(), c.accepted) << line;
  }
  expectRefused(R"({"command":"status"})");
}

TEST(ParseRequest, CommandsAreExact) {
  for (const std::string command : {"STATUS", "Status", "status ", "stop", "", "list_sources"}) {
    expectRefused(R"({"id":"r","command":")" + command + "\"}");
  }
  expectRefused(R"({"id":"r","command":1})");
  expectRefused(R"({"id":"r"})");
  // Escapes are read before comparing.
  expectAccepted(R"({"id":"r","command":"st\u0061tus"})");
}

TEST(ParseRequest, AnEventsQueryCarriesEverything) {
  const std::optional<NativeRequest> request =
      NativeRequest::parse(eventsQuery(R"("sourceIds":["b","a"],"limit":7,)" + kWindow));
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(wireName(request->command()), "query");
  const EventsQuery expected{
      {{"b", "a"}, *parseDate("2024-05-01T00:00:00Z"), *parseDate("2024-05-08T00:00:00Z"), 7}};
  EXPECT_EQ(*request, (NativeRequest{"q1", StoreRequest{expected}}));
}

TEST(ParseRequest, SourceIdsRules) {
  const std::string decomposed = "Caf\x65\xCC\x81";  // e + combining acute
  const std::string precomposed = "Caf\xC3\xA9";
  const struct {
    std::string list;
    bool accepted;
  } cases[] = {
      {sourceIdsOf(1), true},
      {sourceIdsOf(16), true},
      {sourceIdsOf(17), false},
      {"[]", false},
      {R"(["a","a"])", false},
      {"[" + quoted(precomposed) + "," + quoted(decomposed) + "]", false},
      {"[" + quoted(precomposed) + "," + quoted("Cafe") + "]", true},
      {R"(["a",1])", false},
      {R"(["a",null])", false},
      {R"(["a",["b"]])", false},
      {R"(["a",{"b":1}])", false},
      {R"("a")", false},
      {"null", false},
      {"[" + quoted(std::string(512, 'x')) + "]", true},
      {"[" + quoted(std::string(170, 'x') + std::string("\xE6\x97\xA5") + std::string(339, 'y')) +
           "]",
       true},  // 512 bytes with a three-byte scalar
      {"[" + quoted(std::string(513, 'x')) + "]", false},
      {R"(["Work calendar"])", true},
      {R"(["a\tb"])", false},
      {"[" +
           quoted("a\xE2\x80\x8B"
                  "b") +
           "]",
       false},  // U+200B
      {R"([""])", false},
  };
  for (const auto& c : cases) {
    const std::string line = eventsQuery("\"sourceIds\":" + c.list + "," + kWindow);
    EXPECT_EQ(NativeRequest::parse(line).has_value(), c.accepted) << c.list;
  }
  expectRefused(eventsQuery(kWindow));
}

TEST(ParseRequest, LimitIsAWholeNumberFromOneToAHundred) {
  const struct {
    std::string limit;
    int64_t value;  // 0 when refused
  } cases[] = {
      {"1", 1},       {"100", 100},
      {"7.0", 7},     {"1e2", 100},
      {"1E1", 10},    {"0.7e1", 7},
      {"0", 0},       {"101", 0},
      {"2.5", 0},     {"-1", 0},
      {"-0", 0},      {"1e400", 0},
      {"\"7\"", 0},   {"true", 0},
      {"false", 0},   {"null", 0},
      {"[7]", 0},     {"{\"n\":7}", 0},
      {"100.5", 0},   {"18446744073709551617", 0},
      {"0.99999", 0}, {"99.99999999999999999", 100},  // the nearest double is 100
  };
  for (const auto& c : cases) {
    const std::string line = eventsQuery(R"("sourceIds":["a"],"limit":)" + c.limit + "," + kWindow);
    const std::optional<NativeRequest> request = NativeRequest::parse(line);
    ASSERT_EQ(request.has_value(), c.value != 0) << c.limit;
    if (request) {
      EXPECT_EQ(std::get<EventsQuery>(*request->storeRequest()).limit, c.value) << c.limit;
    }
  }
  const std::optional<NativeRequest> request =
      NativeRequest::parse(eventsQuery(R"("sourceIds":["a"],)" + kWindow));
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(std::get<EventsQuery>(*request->storeRequest()).limit, 100);
}

TEST(ParseRequest, ContactQueriesAreTrimmedAndCountedInCharacters) {
  std::string accented160;
  for (int i = 0; i < 160; ++i) accented160 += "e\xCC\x81";  // one character, three bytes
  const struct {
    std::string query;
    std::optional<std::string> trimmed;
  } cases[] = {
      {"  Ada Lovelace  ", "Ada Lovelace"},
      {"\xC2\xA0\xE3\x80\x80Jos\xC3\xA9\xE2\x80\xA8", "Jos\xC3\xA9"},
      {"\t\r\nAd\r\n", "Ad"},
      {" a ", std::nullopt},
      {"", std::nullopt},
      {std::string(160, 'q'), std::string(160, 'q')},
      {std::string(161, 'q'), std::nullopt},
      {accented160, accented160},
      {accented160 + "e", std::nullopt},
      {"Ada\nLovelace", std::nullopt},
      {"Ada\tLovelace", std::nullopt},
      {"Ada\xE2\x80\x8BLovelace", std::nullopt},           // U+200B
      {"Ada\xC2\xADLovelace", std::nullopt},               // soft hyphen
      {"\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", std::nullopt},  // one character
  };
  for (const auto& c : cases) {
    const std::string line = contactsQuery("\"query\":" + quoted(c.query));
    const std::optional<NativeRequest> request = NativeRequest::parse(line);
    ASSERT_EQ(request.has_value(), c.trimmed.has_value()) << c.query;
    if (!request) continue;
    EXPECT_EQ(std::get<ContactsQuery>(*request->storeRequest()).text, c.trimmed);
  }
}

TEST(ParseRequest, ContactQueriesRefuseWindowsAndNeedText) {
  expectRefused(contactsQuery(R"("query":"Ada",)" + kWindow));
  expectRefused(contactsQuery(R"("query":"Ada","start":"2024-05-01T00:00:00Z")"));
  expectRefused(contactsQuery(R"("query":"Ada","end":null)"));
  expectRefused(contactsQuery(R"("limit":5)"));
  expectRefused(contactsQuery(R"("query":null)"));
  expectRefused(contactsQuery(R"("query":12)"));
  expectRefused(contactsQuery(R"("query":["Ada"])"));
  expectAccepted(contactsQuery(R"("query":"Ada","limit":5)"));
}

TEST(ParseRequest, EventAndReminderWindowsAreAtMostThirtyOneDays) {
  const struct {
    std::string start;
    std::string end;
    bool accepted;
  } cases[] = {
      {"2024-05-01T00:00:00Z", "2024-06-01T00:00:00Z", true},       // exactly 31 days
      {"2024-05-01T00:00:00Z", "2024-06-01T00:00:00.001Z", false},  // and one millisecond
      {"2024-05-01T00:00:00.5Z", "2024-06-01T00:00:00.5Z", true},
      {"2024-05-01T00:00:00Z", "2024-06-01T00:00:00.000001Z", false},
      {"2024-05-01T00:00:00Z", "2024-05-01T00:00:00.000001Z", true},
      {"2024-05-01T00:00:00Z", "2024-05-01T00:00:00Z", false},
      {"2024-05-02T00:00:00Z", "2024-05-01T00:00:00Z", false},
      {"2024-02-28T12:00:00Z", "2024-02-29T12:00:00Z", true},
      {"2023-02-28T12:00:00Z", "2023-02-29T12:00:00Z", false},
      {"2024-05-01T00:00:00", "2024-05-02T00:00:00Z", false},
  };
  for (const std::string entity : {"events", "reminders"}) {
    for (const auto& c : cases) {
      const std::string line = R"({"id":"q","command":"query","entity":")" + entity +
                               R"(","sourceIds":["a"],"start":")" + c.start + R"(","end":")" +
                               c.end + "\"}";
      const std::optional<NativeRequest> request = NativeRequest::parse(line);
      ASSERT_EQ(request.has_value(), c.accepted) << line;
      if (request) {
        EXPECT_EQ(windowOf(*request).start, parseDate(c.start));
      }
    }
  }
}

TEST(ParseRequest, EventQueriesRefuseQueryAndNeedBothTimestamps) {
  expectRefused(eventsQuery(R"("sourceIds":["a"],"query":"",)" + kWindow));
  expectRefused(eventsQuery(R"("sourceIds":["a"],"query":null,)" + kWindow));
  expectRefused(eventsQuery(R"("sourceIds":["a"],"start":"2024-05-01T00:00:00Z")"));
  expectRefused(eventsQuery(R"("sourceIds":["a"],"end":"2024-05-01T00:00:00Z")"));
  expectRefused(eventsQuery(R"("sourceIds":["a"],"start":null,"end":"2024-05-01T00:00:00Z")"));
  expectRefused(eventsQuery(R"("sourceIds":["a"],"start":1714521600,"end":1714608000)"));
}

TEST(ParseRequest, RefusesAnythingButOneWellFormedObject) {
  const std::string status = R"({"id":"r","command":"status"})";
  const std::string cases[] = {
      "",
      " ",
      "[" + status + "]",
      R"("status")",
      "null",
      "12",
      "not json",
      status + " " + status,
      status + " x",
      R"({"id":"r","command":"status",})",
      R"({"id":"r","command":"status"/*c*/})",
      R"({'id':'r','command':'status'})",
      "\xEF\xBB\xBF" + status,                      // byte order mark
      R"({"id":"r","command":"status","id":"r"})",  // repeated key
      R"({"id":"r","command":"status","command":"status"})",
      R"({"id":"r","command":"sta)"
      "\xFF"
      R"(tus"})",                                       // ill-formed UTF-8
      R"({"id":"r","command":"status","x":"\ud800"})",  // lone surrogate escape
      R"({"id":"r","command":"status","x":"\udc00\ud800"})",
      R"({"id":"r\u0000","command":"status"})",
      std::string(R"({"id":"r","command":"status"})") + std::string(1, '\0'),
      std::string(R"({"id":"r","command":"sta)") + std::string(1, '\0') + "tus\"}",
      R"({"id":"r","command":"status"} )"
      "\x0B",
  };
  for (const std::string& line : cases) expectRefused(line);
  // JSON white space around the object is fine, a carriage return included.
  expectAccepted(" \t" + status + "\r");
}

TEST(ParseRequest, DeepNestingIsRefusedWithoutRecursion) {
  const std::string deep = std::string(8000, '[') + std::string(8000, ']');
  expectRefused(deep);
  expectRefused(R"({"id":"r","command":"status","x":)" + deep + "}");
  expectRefused(eventsQuery(R"("sourceIds":)" + deep + "," + kWindow));
  std::string objects;
  for (int i = 0; i < 2000; ++i) objects += R"({"a":)";
  objects += "1" + std::string(2000, '}');
  expectRefused(objects);
  expectRefused(std::string(16000, '['));
}

TEST(ParseRequest, LineLengthLimit) {
  const std::string status = R"({"id":"r","command":"status"})";
  const std::string padded = status + std::string(kMaxLineBytes - status.size(), ' ');
  ASSERT_EQ(padded.size(), kMaxLineBytes);
  expectAccepted(padded);
  expectRefused(padded + " ");
}

TEST(RequestReader, DecodesEscapesAndNumbers) {
  const std::optional<protocol_detail::RequestFields> fields = protocol_detail::readRequestFields(
      R"({ "\u0069d" : "a\"b\\c\/d\b\f\n\r\t\u00e9\u20AC\ud83d\udc4d\u0000" ,)"
      R"( "sourceIds" : [ "x" , "y" ] , "limit" : -12.5e-1 })");
  ASSERT_TRUE(fields.has_value());
  EXPECT_EQ(fields->id,
            std::string("a\"b\\c/d\b\f\n\r\t\xC3\xA9\xE2\x82\xAC\xF0\x9F\x91\x8D\0", 22));
  EXPECT_EQ(fields->sourceIds, (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(fields->limit, -1.25);
  EXPECT_EQ(fields->present, protocol_detail::keyBit(protocol_detail::RequestKey::id) |
                                 protocol_detail::keyBit(protocol_detail::RequestKey::sourceIds) |
                                 protocol_detail::keyBit(protocol_detail::RequestKey::limit));
}

TEST(RequestReader, RefusesMalformedStringsAndNumbers) {
  const std::string cases[] = {
      R"({"id":"\x"})",
      R"({"id":"\u12G4"})",
      R"({"id":"\U0041"})",
      R"({"id":"\u004"})",
      R"({"id":"\ud83d"})",
      R"({"id":"\ud83d\u0041"})",
      R"({"id":"\udc4d\ud83d"})",
      R"({"id":"\ud83dx"})",
      "{\"id\":\"a\tb\"}",
      "{\"id\":\"a\x7f\xc3\"}",
      R"({"id":"abc)",
      R"({"id":"abc\")",
      R"({"limit":01})",
      R"({"limit":1.})",
      R"({"limit":.5})",
      R"({"limit":+1})",
      R"({"limit":1e})",
      R"({"limit":1e+})",
      R"({"limit":-})",
      R"({"limit":0x10})",
      R"({"limit":1e999})",
      R"({"limit":Infinity})",
      R"({"limit":NaN})",
      R"({"limit":1 2})",
      R"({"sourceIds":["a",]})",
      R"({"sourceIds":["a" "b"]})",
      R"({"sourceIds":[,"a"]})",
      R"({"sourceIds":["a")",
      R"({"id":"a",})",
      R"({,"id":"a"})",
      R"({"id" "a"})",
      R"({"id":"a"}})",
      R"({"":"a"})",
      R"({"ID":"a"})",
      R"({"id":true})",
      R"({"id":{}})",
  };
  for (const std::string& line : cases) {
    EXPECT_FALSE(protocol_detail::readRequestFields(line).has_value()) << line;
  }
  EXPECT_TRUE(protocol_detail::readRequestFields(R"({"sourceIds":[],"limit":-0})"));
  EXPECT_TRUE(protocol_detail::readRequestFields("\r\n\t {}\t\r\n "));
}

// Lines made by mutating valid requests: any line the request reader accepts must be
// well-formed JSON that nlohmann's reader reads to the same members.
TEST(RequestReader, AcceptsOnlyWhatAReferenceReaderReadsTheSame) {
  const std::string bases[] = {
      eventsQuery(R"("sourceIds":["a\u00e9","b"],"limit":7.0,)" + kWindow),
      contactsQuery(R"("query":"  Jos\u00e9 Garc\u00eda ","limit":1e1)"),
      R"({"id":"r","command":"list-sources","entity":"reminders"})",
  };
  const char pool[] = {'"', '\\', '{', '}', '[', ']', ',',  ':',    ' ',    '0',    '1',    'e',
                       '-', '.',  'u', 'd', '8', 'a', '\n', '\x80', '\xC3', '\xA9', '\xFF', '\0'};
  uint32_t seed = 7;
  const auto next = [&seed](uint32_t bound) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % bound;
  };
  int accepted = 0;
  for (int round = 0; round < 30000; ++round) {
    std::string line = bases[next(3)];
    for (uint32_t edits = 1 + next(2); edits > 0; --edits) {
      const std::size_t at = next(static_cast<uint32_t>(line.size()));
      const char byte = pool[next(sizeof pool)];
      switch (next(3)) {
        case 0:
          line[at] = byte;
          break;
        case 1:
          line.insert(line.begin() + static_cast<std::ptrdiff_t>(at), byte);
          break;
        default:
          line.erase(at, 1);
      }
    }
    const auto fields = protocol_detail::readRequestFields(line);
    if (!fields) continue;
    ++accepted;
    const Json reference = Json::parse(line, nullptr, /*allow_exceptions=*/false);
    ASSERT_TRUE(reference.is_object()) << line;
    ASSERT_EQ(reference.size(), static_cast<std::size_t>(std::popcount(fields->present))) << line;
    if (fields->has(protocol_detail::RequestKey::id)) {
      EXPECT_EQ(reference["id"], fields->id);
    }
    if (fields->has(protocol_detail::RequestKey::query)) {
      EXPECT_EQ(reference["query"], fields->query);
    }
    if (fields->has(protocol_detail::RequestKey::sourceIds)) {
      EXPECT_EQ(reference["sourceIds"], fields->sourceIds);
    }
    if (fields->has(protocol_detail::RequestKey::limit)) {
      EXPECT_EQ(reference["limit"].get<double>(), fields->limit) << line;
    }
  }
  EXPECT_GT(accepted, 1000);
}

TEST(EchoId, FindsTheIdOfRefusedObjects) {
  const struct {
    std::string line;
    std::optional<std::string> id;
  } cases[] = {
      {R"({"id":"r-1","command":"nope"})", "r-1"},
      {R"({"command":"query","id":"r_2","limit":"x","limit":1})", "r_2"},  // other repeats
      {R"({"x":[[[{"id":"inner"}]]],"id":"outer"})", "outer"},
      {R"({"id":"r","extra":)" + std::string(3000, '[') + std::string(3000, ']') + "}", "r"},
      {R"({"id":")" + std::string(64, 'a') + "\"}", std::string(64, 'a')},
      {R"({"id":")" + std::string(65, 'a') + "\"}", std::nullopt},
      {R"({"id":"a b"})", std::nullopt},
      {R"({"id":"abc\n"})", std::nullopt},
      {R"({"id":12})", std::nullopt},
      {R"({"id":null})", std::nullopt},
      {R"({"id":["r"]})", std::nullopt},
      {R"({"id":"r","id":"r"})", std::nullopt},
      {R"({"id":"r","id":"s"})", std::nullopt},
      {R"({"x":{"id":"r"}})", std::nullopt},
      {R"([{"id":"r"}])", std::nullopt},
      {R"("r")", std::nullopt},
      {R"({"id":"r")", std::nullopt},
      {R"({"id":"r"} x)", std::nullopt},
      {std::string(R"({"id":"r"})") + std::string(1, '\0') + "x", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NativeRequest::echoId(c.line), c.id) << c.line.substr(0, 80);
  }
}

TEST(ValidIdentifier, AllowsAnyTextButControlAndFormatCharacters) {
  const struct {
    std::string text;
    bool valid;
  } cases[] = {
      {"calendar-1", true},
      {"Work calendar", true},
      {"\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x91\x8D", true},
      {" padded ", true},
      {std::string(512, 'x'), true},
      {std::string(513, 'x'), false},
      {"", false},
      {"a\tb", false},
      {"a\nb", false},
      {"a\x7F", false},
      {"a\xC2\xAD", false},
      {"a\xE2\x80\x8B", false},
      {"a\xE2\x80\x8E", false},
      {"\xEF\xBB\xBF"
       "a",
       false},
      {"a\xFF", false},
      {"a\xED\xA0\x80", false},
      {"\xC3", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NativeRequest::validIdentifier(c.text), c.valid) << c.text;
  }
}

}  // namespace
}  // namespace pemrix
