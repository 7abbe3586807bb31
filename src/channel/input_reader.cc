// Reading standard input and handing its lines to the bridge.
#include "channel/input_reader.h"

#include <cerrno>
#include <string>

#include <unistd.h>

#include "channel/line_framer.h"
#include "protocol/native_request.h"

namespace pemrix {

namespace {

// Reads at most `kReadSize` bytes, retrying after interruptions. Returns the count, or 0
// at end of input or on failure.
std::size_t readChunk(int fd, char* buffer) {
  for (;;) {
    ssize_t got = ::read(fd, buffer, kReadSize);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return 0;
  }
}

}  // namespace

void readInput(int fd, platform::MainQueue& mainQueue, NativeBridge& bridge) {
  LineFramer framer(kMaxLineBytes);
  char chunk[kReadSize];
  std::string line;
  for (;;) {
    std::size_t got = readChunk(fd, chunk);
    if (got == 0) {  // a trailing partial line is dropped unread
      mainQueue.sync([&bridge] { bridge.stop(); });
      return;
    }
    framer.append(std::string_view(chunk, got));
    for (;;) {
      LineFramer::Next next = framer.next(line);
      if (next == LineFramer::Next::needMore) break;
      if (next == LineFramer::Next::overLong) {
        // Lines after an over-long one are never handled, even those already read.
        mainQueue.sync([&bridge] {
          bridge.failure(std::nullopt, BridgeFailure::invalidRequest());
          bridge.stop();
        });
        return;
      }
      mainQueue.sync([&bridge, &line] { bridge.receive(line); });
    }
  }
}

}  // namespace pemrix
