// The JSON writer for everything the bridge sends: compact text, keys of every object in
// sorted (byte) order, a slash written as "\/", other characters escaped as JSON requires
// and non-ASCII written as UTF-8. Output lines and the byte budget of results both measure
// text made here, so the two always agree.
//
// Messages and results are `nlohmann::json` values whose objects keep their keys sorted.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "common/limits.h"

namespace pemrix {

using Json = nlohmann::json;

// The wire text of `value`, or nothing when it cannot be written (a string that is not
// well-formed UTF-8, a floating-point number, a binary value). Every number the bridge
// sends is an integer (a reminder's priority); request ids are echoed as the strings they
// are.
std::optional<std::string> writeJson(const Json& value);

// The length in bytes of `writeJson(value)`, without building the text.
std::optional<std::size_t> encodedSize(const Json& value);

// The output line for `message`: its wire text followed by one newline. Nothing when the
// message cannot be written or its text is longer than `limits::kMaxMessageBytes`.
std::optional<std::string> encodeMessage(const Json& message);

}  // namespace pemrix
