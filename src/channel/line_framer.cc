// Cutting standard input into bounded lines.
#include "channel/line_framer.h"

namespace pemrix {

LineFramer::LineFramer(std::size_t maxLineBytes) : maxLineBytes_(maxLineBytes) {}

void LineFramer::append(std::string_view bytes) {
  if (start_ > 0) {  // drop the lines already returned before growing the buffer
    buffer_.erase(0, start_);
    start_ = 0;
  }
  buffer_.append(bytes);
}

LineFramer::Next LineFramer::next(std::string& line) {
  std::size_t newline = buffer_.find('\n', start_ + scanned_);
  if (newline == std::string::npos) {
    scanned_ = buffered();
    return buffered() > maxLineBytes_ ? Next::overLong : Next::needMore;
  }
  std::size_t length = newline - start_;
  if (length > maxLineBytes_) return Next::overLong;
  line.assign(buffer_, start_, length);
  start_ = newline + 1;
  scanned_ = 0;
  return Next::line;
}

}  // namespace pemrix
