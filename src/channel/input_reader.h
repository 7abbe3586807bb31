// The input reader: reads standard input in chunks of at most 4096 bytes on a background
// thread, cuts it into lines and hands each line to the bridge on the main queue,
// synchronously, so that lines are handled strictly in order and at most one is in flight.
// End of input, a failed read and an over-long line end the process through the bridge.
#pragma once

#include "bridge/native_bridge.h"
#include "common/limits.h"
#include "platform/main_queue.h"

namespace pemrix {

// Most bytes requested from standard input in one read.
using limits::kReadSize;

// Reads `fd` until it ends, fails or carries an over-long line. Runs on the reader's own
// thread; every call on `bridge` is made on `mainQueue`.
void readInput(int fd, platform::MainQueue& mainQueue, NativeBridge& bridge);

}  // namespace pemrix
