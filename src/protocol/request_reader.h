// Reading the JSON of a request line without building a document. Private to
// src/protocol; `NativeRequest` applies the rules of each command to what is read here.
//
// All functions are pure and thread-safe. None throws: anything unreadable gives nothing.
// Both readers are strict JSON (RFC 8259, no comments, no byte order mark): they refuse
// ill-formed UTF-8, lone surrogate escapes, raw control characters inside strings and any
// raw NUL byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pemrix::protocol_detail {

// The top-level keys a request may carry, each a bit of `RequestFields::present`.
enum class RequestKey : uint8_t { id, command, entity, sourceIds, start, end, limit, query };

inline constexpr uint32_t keyBit(RequestKey key) {
  return 1u << static_cast<unsigned>(key);
}

// The top-level members of a request line. Members that are absent stay empty.
struct RequestFields {
  uint32_t present = 0;  // keyBit of every key the line carries
  std::string id;
  std::string command;
  std::string entity;
  std::string start;
  std::string end;
  std::string query;
  std::vector<std::string> sourceIds;
  double limit = 0;  // the JSON number, as the nearest double

  bool has(RequestKey key) const { return (present & keyBit(key)) != 0; }
};

// The members of `line` when it is one JSON object whose keys are distinct request keys,
// with a text value for "id", "command", "entity", "start", "end" and "query", a number
// within the range of double for "limit" and an array of texts for "sourceIds". Nothing
// otherwise, decided at the first byte that leaves this shape (so nesting costs nothing).
std::optional<RequestFields> readRequestFields(std::string_view line);

// The nearest double to `text`, which must be a JSON number (RFC 8259's grammar: an
// optional minus, an integer part without leading zeros, an optional fraction and
// exponent). Nothing when the number is beyond the range of double: when it rounds to
// infinity, or when it is not zero and rounds to zero. Subnormal results are kept. The
// same text gives the same double on every platform, whatever the process's locale.
std::optional<double> jsonNumberValue(std::string_view text);

// The value of the top-level "id" member when `line` is one well-formed JSON object with
// exactly one such member and its value is text. Nothing otherwise. Other members may
// hold anything, nested to any depth, repeated keys included.
std::optional<std::string> readTopLevelId(std::string_view line);

}  // namespace pemrix::protocol_detail
