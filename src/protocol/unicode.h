// Unicode text operations on UTF-8 shared by the protocol, the result clipping and the
// contact search: validation and repair, extended grapheme clusters, general categories,
// white space, canonical equivalence, and case and mark folding.
//
// All functions are pure and thread-safe. "White space" is Unicode's White_Space property:
// general category Z, U+0009 to U+000D and U+0085.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pemrix::unicode {

// True when `text` is well-formed UTF-8 (no surrogates, no overlong forms).
bool isValidUtf8(std::string_view text);

// `text` with every ill-formed sequence replaced by U+FFFD; a sequence cut off at the end
// becomes one U+FFFD.
std::string repairUtf8(std::string_view text);

// The number of extended grapheme clusters (user-perceived characters) in `text`.
std::size_t graphemeCount(std::string_view text);

// The first `limit` extended grapheme clusters of `text` (all of it when it has fewer).
std::string_view firstGraphemes(std::string_view text, std::size_t limit);

// `text` without white space at either end.
std::string_view trimWhiteSpace(std::string_view text);

// True when `text` contains a scalar of general category Cc (controls) or Cf (format).
bool containsControlOrFormat(std::string_view text);

// The canonical composition (NFC) of `text`: two texts are canonically equivalent exactly
// when their canonical forms are equal.
std::string canonicalForm(std::string_view text);

// `text` with case distinctions and diacritical marks removed, so that "José" and "JOSE"
// both become "jose". Searching folded text for folded words ignores case and marks.
std::string foldForSearch(std::string_view text);

// The pieces of `text` between runs of white space, without empty pieces.
std::vector<std::string> splitOnWhiteSpace(std::string_view text);

}  // namespace pemrix::unicode
