// Line framing: lines cut at newlines however the input is chunked, carriage returns kept,
// and over-long lines detected with or without their newline.
#include "channel/line_framer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pemrix {
namespace {

struct Framed {
  std::vector<std::string> lines;
  bool overLong = false;
};

// Feeds `input` in chunks of `chunk` bytes, collecting lines until an over-long one.
Framed frame(const std::string& input, std::size_t chunk, std::size_t limit = 8) {
  LineFramer framer(limit);
  Framed framed;
  std::string line;
  for (std::size_t at = 0; at < input.size() && !framed.overLong; at += chunk) {
    framer.append(std::string_view(input).substr(at, chunk));
    for (;;) {
      LineFramer::Next next = framer.next(line);
      if (next == LineFramer::Next::needMore) break;
      if (next == LineFramer::Next::overLong) {
        framed.overLong = true;
        break;
      }
      framed.lines.push_back(line);
    }
  }
  return framed;
}

TEST(LineFramerTest, SameLinesWhateverTheChunking) {
  const std::string input = "a\n\nbc\r\n12345678\nlast";
  for (std::size_t chunk = 1; chunk <= input.size(); ++chunk) {
    Framed framed = frame(input, chunk);
    EXPECT_FALSE(framed.overLong) << chunk;
    EXPECT_EQ(framed.lines, (std::vector<std::string>{"a", "", "bc\r", "12345678"})) << chunk;
  }
}

TEST(LineFramerTest, OverLongLineStopsFramingWithOrWithoutNewline) {
  for (std::size_t chunk : {1u, 3u, 64u}) {
    Framed withNewline = frame("ok\n123456789\nnever\n", chunk);
    EXPECT_TRUE(withNewline.overLong);
    EXPECT_EQ(withNewline.lines, std::vector<std::string>{"ok"});
    Framed without = frame("ok\n123456789", chunk);
    EXPECT_TRUE(without.overLong) << chunk;
  }
}

TEST(LineFramerTest, BufferStaysBoundedWhileWaitingForANewline) {
  LineFramer framer(8);
  std::string line;
  framer.append("12345678");
  EXPECT_EQ(framer.next(line), LineFramer::Next::needMore);
  framer.append("9");
  EXPECT_EQ(framer.next(line), LineFramer::Next::overLong);
  EXPECT_EQ(framer.buffered(), 9u);
}

}  // namespace
}  // namespace pemrix
