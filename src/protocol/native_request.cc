// Validation of request lines: the commands, their key sets and the rules for every
// value. Reading the JSON itself is request_reader.cc's job; timestamps are timestamp.cc's.
#include <array>
#include <cmath>

#include "common/limits.h"
#include "protocol/native_request.h"
#include "protocol/request_reader.h"
#include "protocol/unicode.h"

namespace pemrix {
namespace {

using protocol_detail::keyBit;
using protocol_detail::RequestFields;
using protocol_detail::RequestKey;

using limits::kMaxIdentifierBytes;
using limits::kMaxQueryCharacters;
using limits::kMaxRequestIdLength;
using limits::kMaxSourceIds;
using limits::kMinQueryCharacters;
constexpr double kMaxLimit = static_cast<double>(limits::kMaxItems);
// The longest query window, 31 days, in microseconds (the resolution of an Instant).
constexpr int64_t kMaxWindowMicroseconds = limits::kMaxWindowSeconds * 1000000;

constexpr std::array<Command, 5> kAllCommands = {Command::status, Command::shutdown,
                                                 Command::requestPermission, Command::listSources,
                                                 Command::query};

std::optional<Command> commandFromName(std::string_view name) {
  for (Command command : kAllCommands) {
    if (wireName(command) == name) return command;
  }
  return std::nullopt;
}

// The keys a request with `command` may carry.
uint32_t keySet(Command command) {
  const uint32_t base = keyBit(RequestKey::id) | keyBit(RequestKey::command);
  switch (command) {
    case Command::status:
    case Command::shutdown:
      return base;
    case Command::requestPermission:
    case Command::listSources:
      return base | keyBit(RequestKey::entity);
    case Command::query:
      return ~uint32_t{0};
  }
  return base;
}

// True when no two identifiers are canonically equivalent.
bool allDistinct(const std::vector<std::string>& identifiers) {
  std::vector<std::string> forms;
  forms.reserve(identifiers.size());
  for (const std::string& identifier : identifiers) {
    std::string form = unicode::canonicalForm(identifier);
    for (const std::string& earlier : forms) {
      if (earlier == form) return false;
    }
    forms.push_back(std::move(form));
  }
  return true;
}

bool readSourceIds(RequestFields& fields, std::vector<std::string>& sourceIds) {
  const std::vector<std::string>& ids = fields.sourceIds;
  if (!fields.has(RequestKey::sourceIds) || ids.empty() || ids.size() > kMaxSourceIds) {
    return false;
  }
  for (const std::string& id : ids) {
    if (!NativeRequest::validIdentifier(id)) return false;
  }
  if (!allDistinct(ids)) return false;
  sourceIds = std::move(fields.sourceIds);
  return true;
}

bool readLimit(const RequestFields& fields, int64_t& limit) {
  if (!fields.has(RequestKey::limit)) return true;
  const double value = fields.limit;
  if (!(value >= 1 && value <= kMaxLimit) || value != std::trunc(value)) return false;
  limit = static_cast<int64_t>(value);
  return true;
}

std::optional<StoreRequest> readContactsQuery(RequestFields& fields) {
  if (fields.has(RequestKey::start) || fields.has(RequestKey::end)) return std::nullopt;
  if (!fields.has(RequestKey::query)) return std::nullopt;
  const std::string_view trimmed = unicode::trimWhiteSpace(fields.query);
  const std::size_t characters = unicode::graphemeCount(trimmed);
  if (characters < kMinQueryCharacters || characters > kMaxQueryCharacters) return std::nullopt;
  if (unicode::containsControlOrFormat(trimmed)) return std::nullopt;
  ContactsQuery query;
  if (!readSourceIds(fields, query.sourceIds) || !readLimit(fields, query.limit)) {
    return std::nullopt;
  }
  query.text = std::string(trimmed);
  return query;
}

bool readWindow(RequestFields& fields, CalendarQuery& query) {
  if (fields.has(RequestKey::query)) return false;
  if (!fields.has(RequestKey::start) || !fields.has(RequestKey::end)) return false;
  const std::optional<Instant> start = parseDate(fields.start);
  const std::optional<Instant> end = parseDate(fields.end);
  if (!start || !end) return false;
  const int64_t window = (*end - *start).count();
  if (window <= 0 || window > kMaxWindowMicroseconds) return false;
  if (!readSourceIds(fields, query.sourceIds) || !readLimit(fields, query.limit)) return false;
  query.start = *start;
  query.end = *end;
  return true;
}

std::optional<StoreRequest> readQuery(RequestFields& fields, NativeEntity entity) {
  if (entity == NativeEntity::contacts) return readContactsQuery(fields);
  CalendarQuery window;
  if (!readWindow(fields, window)) return std::nullopt;
  if (entity == NativeEntity::events) return EventsQuery{std::move(window)};
  return RemindersQuery{std::move(window)};
}

// The store request of `command` for `entity`, read from the fields it may carry.
std::optional<StoreRequest> readStoreRequest(Command command, NativeEntity entity,
                                             RequestFields& fields) {
  switch (command) {
    case Command::requestPermission:
      return PermissionRequest{entity};
    case Command::listSources:
      return SourceListRequest{entity};
    case Command::query:
      return readQuery(fields, entity);
    case Command::status:
    case Command::shutdown:
      break;
  }
  return std::nullopt;
}

}  // namespace

std::string_view wireName(Command command) {
  switch (command) {
    case Command::status:
      return "status";
    case Command::shutdown:
      return "shutdown";
    case Command::requestPermission:
      return "request-permission";
    case Command::listSources:
      return "list-sources";
    case Command::query:
      return "query";
  }
  return "status";
}

NativeEntity entityOf(const StoreRequest& request) {
  struct Entity {
    NativeEntity operator()(const PermissionRequest& r) const { return r.entity; }
    NativeEntity operator()(const SourceListRequest& r) const { return r.entity; }
    NativeEntity operator()(const EventsQuery&) const { return NativeEntity::events; }
    NativeEntity operator()(const RemindersQuery&) const { return NativeEntity::reminders; }
    NativeEntity operator()(const ContactsQuery&) const { return NativeEntity::contacts; }
  };
  return std::visit(Entity{}, request);
}

Command NativeRequest::command() const {
  if (std::holds_alternative<StatusRequest>(body)) return Command::status;
  if (std::holds_alternative<ShutdownRequest>(body)) return Command::shutdown;
  const StoreRequest& request = std::get<StoreRequest>(body);
  if (std::holds_alternative<PermissionRequest>(request)) return Command::requestPermission;
  if (std::holds_alternative<SourceListRequest>(request)) return Command::listSources;
  return Command::query;
}

std::optional<NativeRequest> NativeRequest::parse(std::string_view line) {
  if (line.size() > kMaxLineBytes) return std::nullopt;
  std::optional<RequestFields> fields = protocol_detail::readRequestFields(line);
  if (!fields || !fields->has(RequestKey::id) || !validRequestId(fields->id)) return std::nullopt;
  const std::optional<Command> command = commandFromName(fields->command);
  if (!command || (fields->present & ~keySet(*command)) != 0) return std::nullopt;
  NativeRequest request;
  request.id = std::move(fields->id);
  if (*command == Command::status) return request;
  if (*command == Command::shutdown) {
    request.body = ShutdownRequest{};
    return request;
  }
  const std::optional<NativeEntity> entity = entityFromRawValue(fields->entity);
  if (!fields->has(RequestKey::entity) || !entity) return std::nullopt;
  std::optional<StoreRequest> storeRequest = readStoreRequest(*command, *entity, *fields);
  if (!storeRequest) return std::nullopt;
  request.body = std::move(*storeRequest);
  return request;
}

std::optional<std::string> NativeRequest::echoId(std::string_view line) {
  if (line.size() > kMaxLineBytes) return std::nullopt;
  std::optional<std::string> id = protocol_detail::readTopLevelId(line);
  if (!id || !validRequestId(*id)) return std::nullopt;
  return id;
}

bool NativeRequest::validRequestId(std::string_view id) {
  if (id.empty() || id.size() > kMaxRequestIdLength) return false;
  for (char c : id) {
    const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                         (c >= '0' && c <= '9') || c == '_' || c == '-';
    if (!allowed) return false;
  }
  return true;
}

bool NativeRequest::validIdentifier(std::string_view text) {
  return !text.empty() && text.size() <= kMaxIdentifierBytes && unicode::isValidUtf8(text) &&
         !unicode::containsControlOrFormat(text);
}

}  // namespace pemrix
