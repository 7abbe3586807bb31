// SAX handlers over nlohmann's iterative parser. Their member names (null, boolean,
// number_integer, ...) are the ones nlohmann's SAX interface requires. Returning false
// from any of them ends the parse at once, which is how a line is refused early.
#include "protocol/request_reader.h"

#include <array>
#include <nlohmann/json.hpp>

namespace pemrix::protocol_detail {
namespace {

using Json = nlohmann::json;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// nlohmann's lexer takes a NUL byte outside a string for the end of the input, so a line
// with one is refused here rather than read only up to it. JSON never needs a raw NUL.
template <typename Handler>
bool readJson(std::string_view line, Handler& handler) {
  if (line.substr(0, kByteOrderMark.size()) == kByteOrderMark) return false;
  if (line.find('\0') != std::string_view::npos) return false;
  return Json::sax_parse(line.data(), line.data() + line.size(), &handler,
                         Json::input_format_t::json, /*strict=*/true, /*ignore_comments=*/false);
}

constexpr std::array<std::string_view, 8> kKeyNames = {"id",    "command", "entity", "sourceIds",
                                                       "start", "end",     "limit",  "query"};

std::optional<RequestKey> keyFromName(std::string_view name) {
  for (std::size_t i = 0; i < kKeyNames.size(); ++i) {
    if (kKeyNames[i] == name) return static_cast<RequestKey>(i);
  }
  return std::nullopt;
}

// Records the members of a request object. Depth 0 is outside the object, 1 inside it,
// 2 inside the "sourceIds" array; no other container is ever entered.
class RequestHandler {
 public:
  RequestFields& fields() { return fields_; }

  bool null() { return false; }
  bool boolean(bool) { return false; }
  bool number_integer(Json::number_integer_t value) { return number(static_cast<double>(value)); }
  bool number_unsigned(Json::number_unsigned_t value) { return number(static_cast<double>(value)); }
  bool number_float(Json::number_float_t value, const Json::string_t&) { return number(value); }
  bool binary(Json::binary_t&) { return false; }

  bool string(Json::string_t& value) {
    if (depth_ == 2) {
      fields_.sourceIds.push_back(value);
      return true;
    }
    std::string* slot = depth_ == 1 ? textSlot(current_) : nullptr;
    if (slot == nullptr) return false;
    *slot = value;
    return true;
  }

  bool start_object(std::size_t) { return depth_++ == 0; }
  bool end_object() {
    depth_ = 0;
    return true;
  }
  bool start_array(std::size_t) {
    if (depth_ != 1 || current_ != RequestKey::sourceIds) return false;
    depth_ = 2;
    return true;
  }
  bool end_array() {
    depth_ = 1;
    return true;
  }

  bool key(Json::string_t& name) {
    const std::optional<RequestKey> found = keyFromName(name);
    if (!found || fields_.has(*found)) return false;
    fields_.present |= keyBit(*found);
    current_ = *found;
    return true;
  }

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
    return false;
  }

 private:
  bool number(double value) {
    if (depth_ != 1 || current_ != RequestKey::limit) return false;
    fields_.limit = value;
    return true;
  }

  std::string* textSlot(RequestKey key) {
    switch (key) {
      case RequestKey::id:
        return &fields_.id;
      case RequestKey::command:
        return &fields_.command;
      case RequestKey::entity:
        return &fields_.entity;
      case RequestKey::start:
        return &fields_.start;
      case RequestKey::end:
        return &fields_.end;
      case RequestKey::query:
        return &fields_.query;
      case RequestKey::sourceIds:
      case RequestKey::limit:
        return nullptr;
    }
    return nullptr;
  }

  RequestFields fields_;
  int depth_ = 0;
  RequestKey current_ = RequestKey::id;
};

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

std::optional<RequestFields> readRequestFields(std::string_view line) {
  RequestHandler handler;
  if (!readJson(line, handler)) return std::nullopt;
  return std::move(handler.fields());
}

std::optional<std::string> readTopLevelId(std::string_view line) {
  IdHandler handler;
  if (!readJson(line, handler)) return std::nullopt;
  return handler.id();
}

}  // namespace pemrix::protocol_detail
