// NativeRequest: one validated request line. `parse` is the only way to make one, so the
// controller and the stores never see a request that breaks a rule of the protocol.
//
// All functions here are pure and may be called from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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

struct NativeRequest {
  std::string id;
  Command command = Command::status;
  std::optional<NativeEntity> entity;  // present for every command but "status" and "shutdown"
  std::vector<std::string> sourceIds;  // "query" only: 1 to 16 identifiers, in request order
  std::optional<Instant> start;        // events and reminders queries only
  std::optional<Instant> end;          // events and reminders queries only
  int64_t limit = limits::kMaxItems;   // "query" only: 1 to 100
  std::optional<std::string> query;    // contacts queries only: the trimmed search text

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
