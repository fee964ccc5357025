#include <gtest/gtest.h>

#include "shared/ErrorLine.hpp"

namespace vellory {
namespace {

const std::string ellipsis = "\u2026";

TEST(ErrorLine, ShortTextIsKeptWithItsControlsShownAsSpaces) {
  EXPECT_EQ(boundedText(""), "");
  EXPECT_EQ(boundedText("Lautsprecher \u00fc"), "Lautsprecher \u00fc");
  EXPECT_EQ(boundedText("a\nb\r\tc\x7F"
                        "d\x1B[2Je"),
            "a b  c d [2Je");
  // NEL, line and paragraph separators move a terminal to a new line too.
  EXPECT_EQ(boundedText("a\u0085b\u2028c\u2029d"), "a b c d");
}

TEST(ErrorLine, LongTextIsCutToTheLimitEndingInAnEllipsis) {
  EXPECT_EQ(boundedText(std::string(200, 'x')), std::string(200, 'x'));
  EXPECT_EQ(boundedText(std::string(201, 'x')), std::string(199, 'x') + ellipsis);
  EXPECT_EQ(boundedText(std::string(100000, 'x')), std::string(199, 'x') + ellipsis);
  EXPECT_EQ(boundedText("abcdef", 4), "abc" + ellipsis);
  EXPECT_EQ(boundedText("abcd", 4), "abcd");
  EXPECT_EQ(boundedText("abcd", 0), "");
}

TEST(ErrorLine, CountsCharactersNotBytesAndNeverSplitsOne) {
  std::string umlauts;
  for (int i = 0; i < 300; ++i) umlauts += "\u00e4";
  std::string expected;
  for (int i = 0; i < 199; ++i) expected += "\u00e4";
  EXPECT_EQ(boundedText(umlauts), expected + ellipsis);
  EXPECT_EQ(boundedText("\U0001F3B5\U0001F3B5\U0001F3B5", 2), "\U0001F3B5" + ellipsis);
}

TEST(ErrorLine, BytesThatAreNotUtf8AreShownAsReplacementCharacters) {
  EXPECT_EQ(boundedText("a\xC3(b"), "a\uFFFD(b");
  EXPECT_EQ(boundedText("\xFF\xFE"), "\uFFFD\uFFFD");
  EXPECT_EQ(boundedText("\xE2\x82"), "\uFFFD\uFFFD");            // cut short
  EXPECT_EQ(boundedText("\xC0\xAF"), "\uFFFD\uFFFD");            // overlong
  EXPECT_EQ(boundedText("\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD");  // surrogate
}

TEST(ErrorLine, AnErrorLineIsOneLineWhateverItsTextHolds) {
  EXPECT_EQ(errorLine("[tool] ", "Failed."), "[tool] Failed.\n");
  EXPECT_EQ(errorLine("[tool] ", "two\nlines\n"), "[tool] two lines \n");
  const std::string own = "Output fabric member is unavailable: ";
  EXPECT_EQ(errorLine("", own + boundedText(std::string(500, 'z'))),
            own + std::string(199, 'z') + ellipsis + "\n");
}

}  // namespace
}  // namespace vellory
