// Fuzz target: request lines. Every input goes through NativeRequest::parse and
// NativeRequest::echoId. An accepted request must satisfy every documented range, agree
// with a full JSON reading of the same line, survive padding up to the line limit (and be
// refused one byte past it), and re-parse to an equal request when written back as JSON.
// An echoed id must be a valid request id read from a well-formed JSON object.
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "fuzz_check.h"
#include "protocol/native_request.h"
#include "unicode_oracle.h"

namespace pemrix {
namespace {

using Json = nlohmann::json;

constexpr int64_t kMaxWindowSeconds = 2678400;

bool isRequestId(std::string_view id) {
  if (id.empty() || id.size() > 64) return false;
  for (char c : id) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') return false;
  }
  return true;
}

bool isSourceIdentifier(const std::string& text) {
  if (text.empty() || text.size() > 512) return false;
  auto scalars = fuzz::scalarsOf(text);
  if (!scalars) return false;
  for (auto scalar : *scalars) {
    if (fuzz::isControlOrFormat(scalar)) return false;
  }
  return true;
}

bool isSearchText(const std::string& text) {
  auto scalars = fuzz::scalarsOf(text);
  if (!scalars || scalars->empty()) return false;
  if (fuzz::isWhiteSpace(scalars->front()) || fuzz::isWhiteSpace(scalars->back())) return false;
  for (auto scalar : *scalars) {
    if (fuzz::isControlOrFormat(scalar)) return false;
  }
  const std::size_t clusters = fuzz::clusterCount(*scalars);
  return clusters >= 2 && clusters <= 160;
}

// An accepted request laid out flat, with every value any command may carry, so that the
// checks below can see that a command carries only its own.
struct FlatRequest {
  std::string id;
  Command command = Command::status;
  std::optional<NativeEntity> entity;
  std::vector<std::string> sourceIds;
  int64_t limit = 100;
  std::optional<Instant> start;
  std::optional<Instant> end;
  std::optional<std::string> query;
};

FlatRequest flatten(const NativeRequest& request) {
  FlatRequest flat;
  flat.id = request.id;
  flat.command = request.command();
  const StoreRequest* store = request.storeRequest();
  if (!store) return flat;
  flat.entity = entityOf(*store);
  auto window = [&flat](const CalendarQuery& query) {
    flat.sourceIds = query.sourceIds;
    flat.limit = query.limit;
    flat.start = query.start;
    flat.end = query.end;
  };
  if (const auto* events = std::get_if<EventsQuery>(store)) window(*events);
  if (const auto* reminders = std::get_if<RemindersQuery>(store)) window(*reminders);
  if (const auto* contacts = std::get_if<ContactsQuery>(store)) {
    flat.sourceIds = contacts->sourceIds;
    flat.limit = contacts->limit;
    flat.query = contacts->text;
  }
  return flat;
}

void checkDefaults(const FlatRequest& request) {
  FUZZ_CHECK(request.sourceIds.empty() && request.limit == 100);
  FUZZ_CHECK(!request.start && !request.end && !request.query);
}

void checkQuery(const FlatRequest& request) {
  FUZZ_CHECK(request.entity);
  FUZZ_CHECK(!request.sourceIds.empty() && request.sourceIds.size() <= 16);
  std::set<std::string> forms;
  for (const std::string& id : request.sourceIds) {
    FUZZ_CHECK(isSourceIdentifier(id));
    FUZZ_CHECK(forms.insert(fuzz::composed(id)).second);  // no two canonically equal
  }
  FUZZ_CHECK(request.limit >= 1 && request.limit <= 100);
  if (*request.entity == NativeEntity::contacts) {
    FUZZ_CHECK(request.query && isSearchText(*request.query));
    FUZZ_CHECK(!request.start && !request.end);
    return;
  }
  FUZZ_CHECK(!request.query && request.start && request.end);
  const auto window = *request.end - *request.start;
  FUZZ_CHECK(window.count() > 0 && window <= std::chrono::seconds(kMaxWindowSeconds));
}

// Every documented range of an accepted request.
void checkRanges(const FlatRequest& request) {
  FUZZ_CHECK(isRequestId(request.id));
  const Command command = request.command;
  if (command == Command::status || command == Command::shutdown) {
    FUZZ_CHECK(!request.entity);
    checkDefaults(request);
  } else if (command == Command::requestPermission || command == Command::listSources) {
    FUZZ_CHECK(request.entity);
    checkDefaults(request);
  } else {
    FUZZ_CHECK(command == Command::query);
    checkQuery(request);
  }
}

// The instant in request form, with only the fraction digits it needs.
std::string requestDate(Instant instant) {
  std::string text = formatDate(instant);
  auto micros = (instant - std::chrono::floor<std::chrono::seconds>(instant)).count();
  if (micros == 0) return text;
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, ".%06lld", static_cast<long long>(micros));
  std::string digits(fraction);
  while (digits.back() == '0') digits.pop_back();
  return text.insert(text.size() - 1, digits);
}

// The request written back as a JSON line from its fields.
std::string rewrite(const FlatRequest& request) {
  Json line = {{"id", request.id}, {"command", wireName(request.command)}};
  if (request.entity) line["entity"] = rawValue(*request.entity);
  if (request.command == Command::query) line["sourceIds"] = request.sourceIds;
  if (request.limit != 100) line["limit"] = request.limit;
  if (request.start) line["start"] = requestDate(*request.start);
  if (request.end) line["end"] = requestDate(*request.end);
  if (request.query) line["query"] = *request.query;
  return line.dump();
}

// The line read by nlohmann's full parser names the same values the request holds.
void checkAgainstFullReading(std::string_view line, const FlatRequest& request) {
  const Json document = Json::parse(line, nullptr, /*allow_exceptions=*/false);
  FUZZ_CHECK(document.is_object());
  FUZZ_CHECK(document.value("id", Json()) == request.id);
  FUZZ_CHECK(document.value("command", Json()) == wireName(request.command));
  if (request.entity) FUZZ_CHECK(document.value("entity", Json()) == rawValue(*request.entity));
  if (request.command != Command::query) return;
  FUZZ_CHECK(document.value("sourceIds", Json()) == Json(request.sourceIds));
  if (document.contains("limit")) FUZZ_CHECK(document["limit"] == request.limit);
  for (const char* key : {"start", "end"}) {
    if (!document.contains(key)) continue;
    const auto instant = parseDate(document[key].get<std::string>());
    FUZZ_CHECK(instant == (key[0] == 's' ? request.start : request.end));
  }
  if (request.query) {
    const std::string original = document["query"].get<std::string>();
    FUZZ_CHECK(original.find(*request.query) != std::string::npos);
  }
}

void checkAccepted(std::string_view line, const NativeRequest& request) {
  const FlatRequest flat = flatten(request);
  checkRanges(flat);
  checkAgainstFullReading(line, flat);
  FUZZ_CHECK(NativeRequest::echoId(line) == request.id);
  const std::string rewritten = rewrite(flat);
  if (rewritten.size() <= kMaxLineBytes) FUZZ_CHECK(NativeRequest::parse(rewritten) == request);
  // Trailing white space up to the limit changes nothing; one byte more is refused unread.
  std::string padded(line);
  padded.resize(kMaxLineBytes, ' ');
  if (line.size() <= kMaxLineBytes) FUZZ_CHECK(NativeRequest::parse(padded) == request);
  padded.push_back(' ');
  FUZZ_CHECK(!NativeRequest::parse(padded) && !NativeRequest::echoId(padded));
}

void checkEchoId(std::string_view line) {
  const std::optional<std::string> id = NativeRequest::echoId(line);
  if (!id) return;
  FUZZ_CHECK(isRequestId(*id));
  const Json document = Json::parse(line, nullptr, /*allow_exceptions=*/false);
  FUZZ_CHECK(document.is_object() && document.value("id", Json()) == *id);
}

}  // namespace
}  // namespace pemrix

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const std::optional<pemrix::NativeRequest> request = pemrix::NativeRequest::parse(line);
  if (size > pemrix::kMaxLineBytes) FUZZ_CHECK(!request);
  if (request) pemrix::checkAccepted(line, *request);
  pemrix::checkEchoId(line);
  return 0;
}
