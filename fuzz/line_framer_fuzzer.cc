// Fuzz target: LineFramer. The input is split into a line limit, a byte stream and chunk
// sizes. Fed in those chunks, the framer must return the same lines as a plain split of the
// stream at newlines, stop at the first line over the limit (whether or not its newline
// has arrived), and never hold more than the limit plus one chunk.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "channel/line_framer.h"
#include "fuzz_check.h"
#include "protocol/native_request.h"

namespace pemrix {
namespace {

struct Framed {
  std::vector<std::string> lines;
  bool overLong = false;
};

// What framing must give: every complete line up to the first one over `limit`; a
// trailing partial line counts only when it is already over the limit.
Framed expected(const std::string& stream, std::size_t limit) {
  Framed framed;
  std::size_t start = 0;
  for (;;) {
    const std::size_t newline = stream.find('\n', start);
    const std::size_t end = newline == std::string::npos ? stream.size() : newline;
    if (end - start > limit) {
      framed.overLong = true;
      return framed;
    }
    if (newline == std::string::npos) return framed;
    framed.lines.push_back(stream.substr(start, end - start));
    start = newline + 1;
  }
}

Framed frame(const std::string& stream, const std::vector<std::size_t>& chunks, std::size_t limit) {
  LineFramer framer(limit);
  Framed framed;
  std::string line;
  std::size_t at = 0;
  for (std::size_t i = 0; at < stream.size() && !framed.overLong; ++i) {
    const std::size_t chunk = std::min(chunks[i % chunks.size()], stream.size() - at);
    framer.append(std::string_view(stream).substr(at, chunk));
    at += chunk;
    FUZZ_CHECK(framer.buffered() <= limit + chunk);
    for (;;) {
      const LineFramer::Next next = framer.next(line);
      if (next == LineFramer::Next::needMore) break;
      if (next == LineFramer::Next::overLong) {
        framed.overLong = true;
        break;
      }
      FUZZ_CHECK(line.size() <= limit);
      framed.lines.push_back(line);
    }
    if (!framed.overLong) FUZZ_CHECK(framer.buffered() <= limit);  // between reads
  }
  return framed;
}

}  // namespace
}  // namespace pemrix

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pemrix;
  FuzzedDataProvider provider(data, size);
  // Small limits reach the bound with small inputs; sometimes the real one.
  std::size_t limit = provider.ConsumeIntegralInRange<std::size_t>(0, 64);
  if (provider.ConsumeBool()) limit = kMaxLineBytes;
  std::vector<std::size_t> chunks;
  const std::size_t chunkCount = provider.ConsumeIntegralInRange<std::size_t>(1, 16);
  for (std::size_t i = 0; i < chunkCount; ++i) {
    chunks.push_back(provider.ConsumeIntegralInRange<std::size_t>(1, 4096));
  }
  std::string stream = provider.ConsumeRemainingBytesAsString();
  if (limit == kMaxLineBytes && !stream.empty()) {
    // Stretch the first line to around the real limit so that its bound is reached too.
    const std::size_t stretch = kMaxLineBytes - 2 + static_cast<unsigned char>(stream[0]) % 4;
    stream.insert(0, stretch, 'x');
  }
  const Framed want = expected(stream, limit);
  for (const auto& sizes : {chunks, std::vector<std::size_t>{stream.size() + 1}}) {
    const Framed got = frame(stream, sizes, limit);
    FUZZ_CHECK(got.lines == want.lines);
    FUZZ_CHECK(got.overLong == want.overLong);
  }
  return 0;
}
