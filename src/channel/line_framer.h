// LineFramer: cuts the byte stream of standard input into lines. A line is everything
// before a newline byte (0x0A), without it; a carriage return stays part of the line.
// A line longer than `kMaxLineBytes` is reported as over-long as soon as its length is
// known, whether its newline has arrived or not.
//
// The buffer never holds more than `kMaxLineBytes` plus one read between reads, so input
// memory stays bounded however long a line is. Not thread-safe: the input reader owns it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pemrix {

class LineFramer {
 public:
  enum class Next { line, needMore, overLong };

  explicit LineFramer(std::size_t maxLineBytes);

  // Adds bytes read from the input.
  void append(std::string_view bytes);

  // The next complete line (in `line`), `needMore` when no complete line is buffered, or
  // `overLong` when the next line is longer than the limit. After `overLong` the framer
  // must not be used again.
  Next next(std::string& line);

  // Bytes buffered and not yet returned as a line.
  std::size_t buffered() const { return buffer_.size() - start_; }

 private:
  const std::size_t maxLineBytes_;
  std::string buffer_;
  std::size_t start_ = 0;    // where the unreturned bytes begin
  std::size_t scanned_ = 0;  // bytes after `start_` known to hold no newline
};

}  // namespace pemrix
