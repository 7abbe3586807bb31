// NativeRequest: one validated request line. `parse` is the only way to make one, so the
// controller and the stores never see a request that breaks a rule of the protocol.
//
// All functions here are pure and may be called from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/instant.h"
#include "common/limits.h"
#include "common/timestamp.h"
#include "protocol/native_entity.h"

namespace pemrix {

// Longest accepted request line in bytes, newline not counted.
using limits::kMaxLineBytes;

// The commands of the protocol.
enum class Command { status, shutdown, requestPermission, listSources, query };

// The command's wire name: "status", "shutdown", "request-permission", "list-sources" or
// "query".
std::string_view wireName(Command command);

// "request-permission": ask the user for access to `entity`, unless already decided.
struct PermissionRequest {
  NativeEntity entity;
  friend bool operator==(const PermissionRequest&, const PermissionRequest&) = default;
};

// "list-sources": the calendars, reminder lists or contact accounts of `entity`.
struct SourceListRequest {
  NativeEntity entity;
  friend bool operator==(const SourceListRequest&, const SourceListRequest&) = default;
};

// The window of a "query" over calendars: the items of the sources that fall in
// [start, end), a window of at most 31 days.
struct CalendarQuery {
  std::vector<std::string> sourceIds;  // 1 to 16 distinct identifiers, in request order
  Instant start;
  Instant end;
  int64_t limit = limits::kMaxItems;  // 1 to 100
  friend bool operator==(const CalendarQuery&, const CalendarQuery&) = default;
};

// "query" with "entity" "events" or "reminders".
struct EventsQuery : CalendarQuery {};
struct RemindersQuery : CalendarQuery {};

// "query" with "entity" "contacts": the contacts of the accounts whose texts hold every
// word of `text`.
struct ContactsQuery {
  std::vector<std::string> sourceIds;  // 1 to 16 distinct identifiers, in request order
  std::string text;                    // trimmed, 2 to 160 characters
  int64_t limit = limits::kMaxItems;   // 1 to 100
  friend bool operator==(const ContactsQuery&, const ContactsQuery&) = default;
};

// A request the stores answer; its type says the command and the entity.
using StoreRequest =
    std::variant<PermissionRequest, SourceListRequest, EventsQuery, RemindersQuery, ContactsQuery>;

// The entity a store request concerns.
NativeEntity entityOf(const StoreRequest& request);

// "status" and "shutdown", which the controller answers itself.
struct StatusRequest {
  friend bool operator==(const StatusRequest&, const StatusRequest&) = default;
};
struct ShutdownRequest {
  friend bool operator==(const ShutdownRequest&, const ShutdownRequest&) = default;
};

struct NativeRequest {
  std::string id;
  // One type per command, so a request can only hold the values its command takes.
  std::variant<StatusRequest, ShutdownRequest, StoreRequest> body;

  Command command() const;
  // The request for the stores, or null for "status" and "shutdown".
  const StoreRequest* storeRequest() const { return std::get_if<StoreRequest>(&body); }

  // Reads one line (without its newline) into a validated request, or nothing when the
  // line breaks any rule: not one JSON object, an unknown command or key, a value of the
  // wrong type or out of range. Which rule was broken is deliberately not reported.
  static std::optional<NativeRequest> parse(std::string_view line);

  // The request id to echo in the failure answer to a refused line: the top-level "id"
  // of a JSON object when it is a string that passes `validRequestId`, otherwise nothing.
  static std::optional<std::string> echoId(std::string_view line);

  // True for a request id: 1 to 64 characters of A-Z, a-z, 0-9, "_" and "-".
  static bool validRequestId(std::string_view id);

  // True for a source identifier: not empty, at most 512 bytes of UTF-8, and without
  // control (Cc) or format (Cf) characters. Expects well-formed UTF-8.
  static bool validIdentifier(std::string_view text);

  friend bool operator==(const NativeRequest&, const NativeRequest&) = default;
};

}  // namespace pemrix
