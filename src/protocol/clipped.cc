// Cutting a store text to a number of characters.
#include "protocol/clipped.h"

#include "protocol/unicode.h"

namespace pemrix {
namespace {

// The most bytes one character is read from, on average, before a text is cut.
constexpr std::size_t kBytesPerCharacter = 4;

}  // namespace

std::string clipped(std::optional<std::string_view> text, std::size_t limit) {
  if (!text) return {};
  // A text of at most `limit` bytes has at most `limit` characters: when it is well-formed
  // it is kept whole, without walking its grapheme clusters. Most names and titles are.
  if (text->size() <= limit && unicode::isValidUtf8(*text)) return std::string(*text);
  const std::size_t byteLimit =
      limit > text->size() / kBytesPerCharacter ? text->size() : limit * kBytesPerCharacter;
  const std::string_view head = text->substr(0, byteLimit);
  if (unicode::isValidUtf8(head)) return std::string(unicode::firstGraphemes(head, limit));
  const std::string repaired = unicode::repairUtf8(head);
  return std::string(unicode::firstGraphemes(repaired, limit));
}

}  // namespace pemrix
