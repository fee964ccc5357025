#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shared/UnicodeText.hpp"

namespace vellory {
namespace {

TEST(UnicodeText, DecodesEachLengthOfWellFormedUtf8) {
  const std::vector<std::pair<std::string, char32_t>> cases = {{"A", U'A'},
                                                               {"\x7F", 0x7F},
                                                               {"\xC2\x80", 0x80},
                                                               {"\xC3\xA9", U'é'},
                                                               {"\xE0\xA0\x80", 0x800},
                                                               {"\xE3\x80\x80", 0x3000},
                                                               {"\xEF\xBF\xBF", 0xFFFF},
                                                               {"\xF0\x90\x80\x80", 0x10000},
                                                               {"\xF4\x8F\xBF\xBF", 0x10FFFF}};
  for (const auto& [bytes, expected] : cases) {
    const Utf8Step step = decodeUtf8(bytes + "rest");
    EXPECT_TRUE(step.wellFormed) << bytes;
    EXPECT_EQ(step.codePoint, expected) << bytes;
    EXPECT_EQ(step.length, bytes.size()) << bytes;
    EXPECT_TRUE(isValidUtf8(bytes));
  }
}

TEST(UnicodeText, RefusesOverlongFormsSurrogatesTooLargeAndCutSequences) {
  const std::vector<std::string> illFormed = {
      "\xC0\xA0",          // a space in two bytes
      "\xC1\xBF",          // overlong DEL
      "\xE0\x80\xA0",      // a space in three bytes
      "\xF0\x80\x80\xA0",  // a space in four bytes
      "\xED\xA0\x80",      // high surrogate
      "\xED\xBF\xBF",      // low surrogate
      "\xF4\x90\x80\x80",  // U+110000
      "\xF5\x80\x80\x80",  // lead byte past U+10FFFF
      "\xFF",
      "\x80",
      "\xBF",       // stray bytes
      "\xE2\x82",   // cut short at the end
      "\xE2\x82 ",  // cut short before a space
  };
  for (const std::string& bytes : illFormed) {
    const Utf8Step step = decodeUtf8(bytes);
    EXPECT_FALSE(step.wellFormed) << testing::PrintToString(bytes);
    EXPECT_EQ(step.length, 1u) << testing::PrintToString(bytes);
    EXPECT_FALSE(isValidUtf8("ok " + bytes + " ok")) << testing::PrintToString(bytes);
  }
  EXPECT_TRUE(isValidUtf8(""));
  EXPECT_TRUE(isValidUtf8(std::string("nul \0 inside", 12)));
}

TEST(UnicodeText, TrimsUnicodeWhiteSpaceAndLineBreaksAtBothEnds) {
  EXPECT_EQ(trimmedUnicodeSpace("  USB Mic\n"), "USB Mic");
  EXPECT_EQ(trimmedUnicodeSpace("\t\r\v\f\u0085Mic\u00A0"), "Mic");
  EXPECT_EQ(trimmedUnicodeSpace("\u3000\u2028\u2029\u1680\u2000\u200A\u202F\u205FMic\u3000"),
            "Mic");
  EXPECT_EQ(trimmedUnicodeSpace("USB\u00A0 \u3000Mic"), "USB\u00A0 \u3000Mic");
  EXPECT_EQ(trimmedUnicodeSpace(" \u00A0\n\u3000"), "");
  EXPECT_EQ(trimmedUnicodeSpace(""), "");
  // Not white space: zero-width space, a control that is no line break, a letter.
  EXPECT_EQ(trimmedUnicodeSpace("\u200BMic\x01"), "\u200BMic\x01");
}

TEST(UnicodeText, TrimsNothingThatIsNotWellFormed) {
  EXPECT_EQ(trimmedUnicodeSpace("\xC0\xA0Mic\xC0\xA0"), "\xC0\xA0Mic\xC0\xA0");
  EXPECT_EQ(trimmedUnicodeSpace("\xE0\x80\xA0Mic"), "\xE0\x80\xA0Mic");
  EXPECT_EQ(trimmedUnicodeSpace(" \xFF "), "\xFF");
  EXPECT_EQ(trimmedUnicodeSpace("Mic \xE3\x80"), "Mic \xE3\x80");
  // A cut lead byte stands alone; the full space after it is still white space.
  EXPECT_EQ(trimmedUnicodeSpace("Mic\xE3\xE3\x80\x80"), "Mic\xE3");
}

TEST(UnicodeText, ContainsIgnoringCaseAcrossScripts) {
  EXPECT_TRUE(containsIgnoringCase("Internal Speakers", "speaker"));
  EXPECT_TRUE(containsIgnoringCase("SPEAKER OUT", "speaker"));
  EXPECT_TRUE(containsIgnoringCase("Eingebaute Lautsprecher", "LAUTSPRECHER"));
  EXPECT_TRUE(containsIgnoringCase("ÉCRAN INTÉGRÉ", "écran"));
  EXPECT_TRUE(containsIgnoringCase("écran", "ÉCRAN"));
  EXPECT_TRUE(containsIgnoringCase("ÄUSSERE BOX", "äussere"));
  EXPECT_TRUE(containsIgnoringCase("ДИНАМИКИ", "динамики"));
  EXPECT_TRUE(containsIgnoringCase("Ηχεία", "ΗΧΕΊΑ"));
  // The same letter composed or as a base letter with a combining accent.
  EXPECT_TRUE(containsIgnoringCase("E\u0301cran", "écran"));
  EXPECT_TRUE(containsIgnoringCase("anything", ""));
}

TEST(UnicodeText, ContainsIgnoringCaseKeepsWhatDiffersBeyondCase) {
  EXPECT_FALSE(containsIgnoringCase("Ecran", "écran"));
  EXPECT_FALSE(containsIgnoringCase("écran", "ecran"));
  EXPECT_FALSE(containsIgnoringCase("Ｖirtual", "virtual"));  // full-width letter
  EXPECT_FALSE(containsIgnoringCase("Speak er", "speaker"));
  EXPECT_FALSE(containsIgnoringCase("", "speaker"));
  EXPECT_FALSE(containsIgnoringCase("spea", "speaker"));
}

TEST(UnicodeText, ContainsIgnoringCaseOverBytesThatAreNotUtf8) {
  EXPECT_TRUE(containsIgnoringCase("\xFF\xFEVIRTUAL", "virtual"));
  EXPECT_TRUE(containsIgnoringCase("VIRTUAL\xC0\xA0", "virtual"));
  EXPECT_TRUE(containsIgnoringCase("\xE2\x82 x \xED\xA0\x80 Virtual \x80", "virtual"));
  // A bad byte splits the word, and does not count as any letter.
  EXPECT_FALSE(containsIgnoringCase("VIR\xFFTUAL", "virtual"));
  EXPECT_FALSE(containsIgnoringCase("\xFF\xFE\x80", "virtual"));
  // A needle that is not UTF-8 is looked for byte for byte.
  EXPECT_TRUE(
      containsIgnoringCase("a\xFF"
                           "b",
                           "\xFF"));
  EXPECT_FALSE(
      containsIgnoringCase("a\xFE"
                           "b",
                           "\xFF"));
  EXPECT_FALSE(containsIgnoringCase("A\xFF", "a\xFF"));
}

}  // namespace
}  // namespace vellory
