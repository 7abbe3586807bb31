// The output side of the message channel: turning one message into its output line, and
// writing bytes to standard output whole.
//
// Thread safety: pure functions; the controller calls them only on the main queue, so
// output lines never interleave.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/wire_json.h"

namespace pemrix {

// Longest JSON text written for one message, newline not counted.
inline constexpr std::size_t kMaxMessageBytes = 262144;

// The output line for `message`: its wire JSON followed by one newline. Nothing when the
// message cannot be serialised or its JSON is longer than `kMaxMessageBytes`.
std::optional<std::string> encodeMessage(const Json& message);

// Writes all of `bytes` to `fd`, however many system writes it takes, retrying after
// interruptions. False when a write fails (for instance, the reader closed the pipe).
bool writeAll(int fd, std::string_view bytes);

}  // namespace pemrix
