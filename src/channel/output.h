// The output side of the message channel: writing an output line to standard output whole
// (the line itself comes from `encodeMessage`, protocol/wire_json.h).
//
// Thread safety: the controller writes only on the main queue, so output lines never
// interleave.
#pragma once

#include <cstddef>
#include <string_view>

namespace pemrix {

// Writes all of `bytes` to `fd`, however many system writes it takes, retrying after
// interruptions. False when a write fails (for instance, the reader closed the pipe).
bool writeAll(int fd, std::string_view bytes);

}  // namespace pemrix
