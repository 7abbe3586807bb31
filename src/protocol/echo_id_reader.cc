// Reading the top-level "id" of a refused line with nlohmann's iterative SAX parser, which
// checks the whole line is well-formed JSON without building a document. The handler's
// member names (null, boolean, number_integer, ...) are the ones nlohmann requires;
// returning false from any of them ends the parse.
#include <nlohmann/json.hpp>

#include "protocol/request_reader.h"

namespace pemrix::protocol_detail {
namespace {

using Json = nlohmann::json;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Finds the top-level "id" member of an object and whether it is text, walking (but not
// keeping) everything else.
class IdHandler {
 public:
  std::optional<std::string> id() const { return count_ == 1 && isText_ ? id_ : std::nullopt; }

  bool null() { return value(); }
  bool boolean(bool) { return value(); }
  bool number_integer(Json::number_integer_t) { return value(); }
  bool number_unsigned(Json::number_unsigned_t) { return value(); }
  bool number_float(Json::number_float_t, const Json::string_t&) { return value(); }
  bool binary(Json::binary_t&) { return value(); }
  bool string(Json::string_t& text) {
    if (expectingId_) {
      id_ = text;
      isText_ = true;
    }
    return value();
  }

  bool start_object(std::size_t) { return enter(); }
  bool end_object() { return leave(); }
  bool start_array(std::size_t) { return depth_ != 0 && enter(); }
  bool end_array() { return leave(); }

  bool key(Json::string_t& name) {
    if (depth_ != 1 || name != "id") return true;
    expectingId_ = true;
    return ++count_ == 1;  // a repeated "id" already decides the answer
  }

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
    return false;
  }

 private:
  // A scalar: refused at the top level, otherwise consumes a pending "id" value.
  bool value() {
    expectingId_ = false;
    return depth_ != 0;
  }
  bool enter() {
    expectingId_ = false;
    ++depth_;
    return true;
  }
  bool leave() {
    --depth_;
    return true;
  }

  std::optional<std::string> id_;
  int depth_ = 0;
  int count_ = 0;
  bool expectingId_ = false;
  bool isText_ = false;
};

}  // namespace

std::optional<std::string> readTopLevelId(std::string_view line) {
  // A byte order mark is refused as the request reader refuses it. nlohmann's lexer takes
  // a NUL byte outside a string for the end of the input, so a line with one is refused
  // here rather than read only up to it; JSON never needs a raw NUL.
  if (line.substr(0, kByteOrderMark.size()) == kByteOrderMark) return std::nullopt;
  if (line.find('\0') != std::string_view::npos) return std::nullopt;
  IdHandler handler;
  if (!Json::sax_parse(line.data(), line.data() + line.size(), &handler, Json::input_format_t::json,
                       /*strict=*/true, /*ignore_comments=*/false)) {
    return std::nullopt;
  }
  return handler.id();
}

}  // namespace pemrix::protocol_detail
