// The Unicode helpers: validation and repair, grapheme clusters, white space, categories,
// canonical equivalence and search folding.
#include "protocol/unicode.h"

#include <gtest/gtest.h>
#include <utf8proc.h>

#include <cstdlib>
#include <string>

namespace pemrix::unicode {
namespace {

const std::string kThumbsUpMedium = "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD";  // U+1F44D U+1F3FD
const std::string kReplacement = "\xEF\xBF\xBD";

std::string encode(char32_t scalar) {
  utf8proc_uint8_t bytes[4];
  const auto length = utf8proc_encode_char(static_cast<utf8proc_int32_t>(scalar), bytes);
  return std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
}

std::string replacements(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += kReplacement;
  return text;
}

struct Utf8Case {
  std::string text;
  bool valid;
  std::string repaired;  // only for ill-formed text
};

TEST(Utf8, ValidatesAndRepairsOneReplacementPerMaximalSubpart) {
  const Utf8Case cases[] = {
      {"", true, ""},
      {"plain ASCII text longer than one eight-byte word", true, ""},
      {"caf\xC3\xA9", true, ""},
      {"\xE2\x82\xAC and \xF0\x9F\x98\x80", true, ""},
      {"\xF4\x8F\xBF\xBF", true, ""},                // U+10FFFF
      {"\xED\x9F\xBF", true, ""},                    // U+D7FF
      {"a\xC3", false, "a" + kReplacement},          // cut off
      {"a\xF0\x9F\x91", false, "a" + kReplacement},  // cut off after three bytes
      {"\xC0\x80", false, replacements(2)},          // overlong NUL
      {"\xE0\x80\x80", false, replacements(3)},      // overlong
      {"\xED\xA0\x80", false, replacements(3)},      // surrogate U+D800
      {"\xF4\x90\x80\x80", false, replacements(4)},  // above U+10FFFF
      {"\xF5\x80", false, replacements(2)},
      {"\xFF", false, kReplacement},
      {"\x80x", false, kReplacement + "x"},
      {"\xE2\x82x", false, kReplacement + "x"},  // cut off before another scalar
      {"12345678\xE2\x82\xAC\xE2\x82", false, "12345678\xE2\x82\xAC" + kReplacement},
  };
  for (const Utf8Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(isValidUtf8(c.text), c.valid);
    EXPECT_EQ(repairUtf8(c.text), c.valid ? c.text : c.repaired);
  }
}

TEST(Utf8, AgreesWithUtf8procOnEveryTwoByteAndSampledLongerSequences) {
  for (int lead = 0; lead < 256; ++lead) {
    for (int second = 0; second < 256; ++second) {
      for (int third : {0x41, 0x80, 0x9F, 0xA0, 0xBF, 0xC0}) {
        const std::string text = {static_cast<char>(lead), static_cast<char>(second),
                                  static_cast<char>(third), '\x80'};
        utf8proc_uint8_t* mapped = nullptr;
        const auto result =
            utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
                         static_cast<utf8proc_ssize_t>(text.size()), &mapped, UTF8PROC_STABLE);
        std::free(mapped);
        ASSERT_EQ(isValidUtf8(text), result >= 0) << lead << " " << second << " " << third;
      }
    }
  }
}

struct GraphemeCase {
  std::string text;
  std::size_t count;
};

TEST(Graphemes, CountsExtendedClusters) {
  const GraphemeCase cases[] = {
      {"", 0},
      {"abc", 3},
      {"a\r\nb", 3},  // CR LF is one
      {"\n\r", 2},
      {"e\xCC\x81", 1},  // e + combining acute
      {"Jose\xCC\x81 Garci\xCC\x81"
       "a",
       11},
      {"\r\n\xCC\x81", 2},  // no mark after a control
      {kThumbsUpMedium, 1},
      {"a" + kThumbsUpMedium + kThumbsUpMedium, 3},
      {"\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7", 2},  // two flags
      {"\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA\xF0\x9F\x87\xAB", 2},  // a flag and a lone half
      // Family: man ZWJ woman ZWJ girl.
      {"\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7", 1},
      {"\xE1\x84\x80\xE1\x85\xA1\xE1\x86\xA8", 1},  // Hangul L V T jamo
      {"1\xEF\xB8\x8F\xE2\x83\xA3", 1},             // keycap 1
      {"a\xFF"
       "b",
       3},  // ill-formed byte is one
  };
  for (const GraphemeCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(graphemeCount(c.text), c.count);
    EXPECT_EQ(firstGraphemes(c.text, c.count), c.text);
    EXPECT_EQ(firstGraphemes(c.text, c.count + 5), c.text);
    if (c.count > 0) {
      EXPECT_LT(firstGraphemes(c.text, c.count - 1).size(), c.text.size());
    }
  }
}

TEST(Graphemes, FirstGraphemesKeepsClustersWhole) {
  EXPECT_EQ(firstGraphemes("abc", 0), "");
  EXPECT_EQ(firstGraphemes("abc", 2), "ab");
  EXPECT_EQ(firstGraphemes("a\r\nb", 2), "a\r\n");
  EXPECT_EQ(firstGraphemes("ae\xCC\x81z", 2), "ae\xCC\x81");
  EXPECT_EQ(firstGraphemes("a" + kThumbsUpMedium + "b", 2), "a" + kThumbsUpMedium);
}

struct TrimCase {
  std::string text;
  std::string trimmed;
};

TEST(WhiteSpace, TrimsWhiteSpaceAndLineBreaksAtBothEnds) {
  const TrimCase cases[] = {
      {"", ""},
      {"   ", ""},
      {"  Ada Lovelace  ", "Ada Lovelace"},
      {"\t\n\v\f\rx\r\n", "x"},
      {"\xC2\x85x\xC2\x85", "x"},                                  // U+0085
      {"\xC2\xA0\xE3\x80\x80x y\xE2\x80\xA8\xE2\x80\xA9", "x y"},  // NBSP, ideographic, LS, PS
      {"\xE1\x9A\x80x\xE2\x80\x8A", "x"},                          // U+1680, U+200A
      {"\xE2\x80\x8Bx\xE2\x80\x8B", "\xE2\x80\x8Bx\xE2\x80\x8B"},  // ZWSP is not white space
      {"\xEF\xBB\xBFx", "\xEF\xBB\xBFx"},                          // nor is U+FEFF
      {" Jos\xC3\xA9 ", "Jos\xC3\xA9"},
  };
  for (const TrimCase& c : cases) {
    EXPECT_EQ(trimWhiteSpace(c.text), c.trimmed) << c.text;
  }
}

TEST(WhiteSpace, SplitsIntoPiecesWithoutEmptyOnes) {
  EXPECT_EQ(splitOnWhiteSpace(""), std::vector<std::string>{});
  EXPECT_EQ(splitOnWhiteSpace(" \t "), std::vector<std::string>{});
  EXPECT_EQ(splitOnWhiteSpace("ada"), std::vector<std::string>{"ada"});
  EXPECT_EQ(splitOnWhiteSpace("  ada \t\n lovelace "),
            (std::vector<std::string>{"ada", "lovelace"}));
  EXPECT_EQ(splitOnWhiteSpace("jos\xC3\xA9\xC2\xA0garc\xC3\xAD"
                              "a\xE3\x80\x80x"),
            (std::vector<std::string>{"jos\xC3\xA9",
                                      "garc\xC3\xAD"
                                      "a",
                                      "x"}));
}

struct CategoryCase {
  std::string text;
  bool controlOrFormat;
};

TEST(Categories, FindsControlAndFormatCharacters) {
  const CategoryCase cases[] = {
      {"", false},
      {"Work calendar", false},
      {"Jos\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC " + kThumbsUpMedium, false},
      {"a\tb", true},
      {"a\nb", true},
      {std::string("a\0b", 3), true},
      {"a\x7F", true},
      {"\xC2\x80", true},          // U+0080, a C1 control
      {"\xC2\xAD", true},          // soft hyphen
      {"\xE2\x80\x8B", true},      // zero width space
      {"\xE2\x80\x8E", true},      // left-to-right mark
      {"\xEF\xBB\xBF", true},      // byte order mark
      {"\xF3\xA0\x80\x81", true},  // language tag
      {"\xC2\xA0", false},         // no-break space is Zs
      {"\xE2\x80\xA8", false},     // line separator is Zl
      {"\xEE\x80\x80", false},     // private use is Co
  };
  for (const CategoryCase& c : cases) {
    EXPECT_EQ(containsControlOrFormat(c.text), c.controlOrFormat) << c.text;
  }
}

TEST(Canonical, EquivalentTextsShareOneForm) {
  EXPECT_EQ(canonicalForm("e\xCC\x81"), "\xC3\xA9");
  EXPECT_EQ(canonicalForm("\xC3\xA9"), "\xC3\xA9");
  EXPECT_EQ(canonicalForm("A\xCC\x8A"), canonicalForm("\xE2\x84\xAB"));  // Angstrom sign
  EXPECT_EQ(canonicalForm("plain"), "plain");
  // Canonical order of marks: below then above, whichever order they were written in.
  EXPECT_EQ(canonicalForm("q\xCC\x87\xCC\xA3"), canonicalForm("q\xCC\xA3\xCC\x87"));
  // Composition exclusions stay decomposed, and compatibility forms stay distinct.
  EXPECT_EQ(canonicalForm("\xE0\xA5\x98"), "\xE0\xA4\x95\xE0\xA4\xBC");
  EXPECT_NE(canonicalForm("\xEF\xAC\x81"), "fi");
  EXPECT_EQ(canonicalForm("a\xFF"), "a" + kReplacement);
}

struct FoldCase {
  std::string text;
  std::string folded;
};

TEST(Fold, RemovesCaseAndMarks) {
  const FoldCase cases[] = {
      {"", ""},
      {"Jos\xC3\xA9", "jose"},
      {"JOSE", "jose"},
      {"Jose\xCC\x81", "jose"},
      {"JOS\xC3\x89 GARC\xC3\x8D"
       "A",
       "jose garcia"},
      {"Stra\xC3\x9F"
       "e",
       "strasse"},
      {"\xC3\x85ngstr\xC3\xB6m", "angstrom"},
      {"\xC4\xB0stanbul", "istanbul"},
      {"\xE2\x84\xAA", "k"},  // Kelvin sign
      {"\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x99\xCE\x91", "\xCF\x83\xCE\xBF\xCF\x86\xCE\xB9\xCE\xB1"},
      {"\xEA\xB0\x80\xEA\xB0\x81", "\xEA\xB0\x80\xEA\xB0\x81"},  // Hangul stays composed
      {"Acme Corp. (R&D) #42 / x", "acme corp. (r&d) #42 / x"},
      {"a\xFF"
       "B",
       "a" + kReplacement + "b"},
  };
  for (const FoldCase& c : cases) {
    EXPECT_EQ(foldForSearch(c.text), c.folded) << c.text;
  }
}

std::string foldWhole(const std::string& text) {
  utf8proc_uint8_t* mapped = nullptr;
  const auto length =
      utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
                   static_cast<utf8proc_ssize_t>(text.size()), &mapped,
                   static_cast<utf8proc_option_t>(UTF8PROC_CASEFOLD | UTF8PROC_STRIPMARK |
                                                  UTF8PROC_COMPOSE | UTF8PROC_STABLE));
  std::string result(reinterpret_cast<const char*>(mapped), static_cast<std::size_t>(length));
  std::free(mapped);
  return result;
}

// Folding run by run must give what folding the whole text at once gives, whatever
// scalar meets an ASCII letter.
TEST(Fold, CuttingAtAsciiChangesNothing) {
  // Every assigned plane; planes 4 to 13 are empty and 15 and 16 are private use.
  for (char32_t scalar = 0x80; scalar <= 0xE01EF; ++scalar) {
    if (scalar == 0xD800) scalar = 0xE000;
    if (scalar == 0x32400) scalar = 0xE0000;
    const std::string middle = encode(scalar);
    const std::string text = "A" + middle + "b" + middle;
    ASSERT_EQ(foldForSearch(text), foldWhole(text)) << std::hex << static_cast<uint32_t>(scalar);
  }
}

// Texts drawn from scalars whose folding interacts: marks of several classes, Greek with
// tonos, letters that fold to several, Hangul syllables and conjoining jamo, ASCII.
TEST(Fold, AgreesWithWholeTextFoldingOnMixedTexts) {
  const char32_t pool[] = {
      'a',    'B',     ' ',     'e',     'I',    0xC5,   0xDF,   0x130,  0x149,  0x1C4,  0x1F0,
      0x300,  0x301,   0x308,   0x323,   0x345,  0x390,  0x3A3,  0x3C2,  0x1E9B, 0x1F80, 0x212A,
      0x212B, 0xFB01,  0x1100,  0x1161,  0x11A8, 0xAC00, 0xAC01, 0x3099, 0x304B, 0x0915, 0x093C,
      0x0958, 0x1F44D, 0x1F3FD, 0x10400, 0x0410, 0x0439, 0x0306, 0xE9,   0x65E5};
  uint32_t seed = 12345;
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const int length = 1 + static_cast<int>(seed % 8);
    for (int i = 0; i < length; ++i) {
      seed = seed * 1664525u + 1013904223u;
      text += encode(pool[(seed >> 8) % (sizeof pool / sizeof pool[0])]);
    }
    ASSERT_EQ(foldForSearch(text), foldWhole(text)) << text;
  }
}

}  // namespace
}  // namespace pemrix::unicode
