// The wire JSON writer. One walk over the value serves both writing and measuring: it
// feeds a sink that either appends to a string or only counts bytes, so `encodedSize`
// and `writeJson` cannot disagree.
#include "protocol/wire_json.h"

#include <charconv>
#include <string_view>

#include "protocol/unicode.h"

namespace pemrix {
namespace {

struct StringSink {
  std::string& text;
  void put(char c) { text.push_back(c); }
  void put(std::string_view piece) { text.append(piece); }
};

struct CountingSink {
  std::size_t size = 0;
  void put(char) { ++size; }
  void put(std::string_view piece) { size += piece.size(); }
};

// The escape for a byte that may not appear raw in a JSON string, or an empty view.
std::string_view shortEscape(unsigned char byte) {
  switch (byte) {
    case '"':
      return "\\\"";
    case '\\':
      return "\\\\";
    case '/':
      return "\\/";
    case '\b':
      return "\\b";
    case '\f':
      return "\\f";
    case '\n':
      return "\\n";
    case '\r':
      return "\\r";
    case '\t':
      return "\\t";
    default:
      return {};
  }
}

template <typename Sink>
void putEscape(Sink& out, unsigned char byte) {
  const std::string_view escape = shortEscape(byte);
  if (!escape.empty()) {
    out.put(escape);
    return;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  const char control[] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xF]};
  out.put(std::string_view(control, sizeof control));
}

bool needsEscape(unsigned char byte) {
  return byte < 0x20 || byte == '"' || byte == '\\' || byte == '/';
}

// Writes `text` as a JSON string; false when it is not well-formed UTF-8.
template <typename Sink>
bool putString(Sink& out, std::string_view text) {
  if (!unicode::isValidUtf8(text)) return false;
  out.put('"');
  std::size_t runStart = 0;
  for (std::size_t pos = 0; pos < text.size(); ++pos) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (!needsEscape(byte)) continue;
    out.put(text.substr(runStart, pos - runStart));
    putEscape(out, byte);
    runStart = pos + 1;
  }
  out.put(text.substr(runStart));
  out.put('"');
  return true;
}

template <typename Sink, typename Number>
void putInteger(Sink& out, Number value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.put(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
}

template <typename Sink>
bool putValue(Sink& out, const Json& value);

template <typename Sink>
bool putObject(Sink& out, const Json::object_t& object) {
  out.put('{');
  bool first = true;
  for (const auto& [key, member] : object) {
    if (!first) out.put(',');
    first = false;
    if (!putString(out, key)) return false;
    out.put(':');
    if (!putValue(out, member)) return false;
  }
  out.put('}');
  return true;
}

template <typename Sink>
bool putArray(Sink& out, const Json::array_t& array) {
  out.put('[');
  for (std::size_t i = 0; i < array.size(); ++i) {
    if (i > 0) out.put(',');
    if (!putValue(out, array[i])) return false;
  }
  out.put(']');
  return true;
}

template <typename Sink>
bool putValue(Sink& out, const Json& value) {
  switch (value.type()) {
    case Json::value_t::object:
      return putObject(out, value.get_ref<const Json::object_t&>());
    case Json::value_t::array:
      return putArray(out, value.get_ref<const Json::array_t&>());
    case Json::value_t::string:
      return putString(out, value.get_ref<const Json::string_t&>());
    case Json::value_t::boolean:
      out.put(value.get<bool>() ? std::string_view("true") : std::string_view("false"));
      return true;
    case Json::value_t::null:
      out.put(std::string_view("null"));
      return true;
    case Json::value_t::number_integer:
      putInteger(out, value.get<Json::number_integer_t>());
      return true;
    case Json::value_t::number_unsigned:
      putInteger(out, value.get<Json::number_unsigned_t>());
      return true;
    case Json::value_t::number_float:  // no message carries one: every number is an integer
    case Json::value_t::binary:
    case Json::value_t::discarded:
      return false;
  }
  return false;
}

}  // namespace

std::optional<std::string> writeJson(const Json& value) {
  std::string text;
  StringSink sink{text};
  if (!putValue(sink, value)) return std::nullopt;
  return text;
}

std::optional<std::size_t> encodedSize(const Json& value) {
  CountingSink sink;
  if (!putValue(sink, value)) return std::nullopt;
  return sink.size;
}

std::optional<std::string> encodeMessage(const Json& message) {
  std::optional<std::string> text = writeJson(message);
  if (!text || text->size() > limits::kMaxMessageBytes) return std::nullopt;
  text->push_back('\n');
  return text;
}

}  // namespace pemrix
